#include "Common/service/LSItem.h"

#include "Common/fileprovider/FileEntry.h"
#include "Common/fileprovider/FolderEntry.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

LSItem LSItem::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::string>("id"),
        .name = c.decode<std::string>("name"),
        .type = c.decode<ItemType>("type"),
        .size = c.decodeIfPresent<std::int64_t>("size"),
        .modifiedAt = c.decodeIfPresent<Platform::Date>("modifiedAt"),
        .homeType = c.decodeIfPresent<std::string>("homeType"),
    };
}

std::shared_ptr<Entry> LSItem::entry(std::string parentIdentifier, VolumeRole inheritedVolumeRole) const {
    EntryFields fields{
        .identifier = id,
        .parentIdentifier = std::move(parentIdentifier),
        .name = name,
        .modifiedAt = modifiedAt,
        .size = size,
        .volumeRole = inheritedVolumeRole,
    };
    if (type == ItemType::folder) return std::make_shared<FolderEntry>(std::move(fields));
    return std::make_shared<FileEntry>(std::move(fields));
}

}  // namespace Common

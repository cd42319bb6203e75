#include "Common/fileprovider/TarnVolume.h"

#include "Common/fileprovider/Entry.h"
#include "Common/fileprovider/ProjectFolderEntry.h"
#include "Common/fileprovider/TarnRole.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnVolume TarnVolume::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decodeIfPresent<std::int64_t>("id"),
        .itemId = c.decode<std::string>("itemId"),
        .nameWithoutPrefix = c.decode<std::string>("nameWithoutPrefix"),
        .modifiedAt = c.decodeIfPresent<Platform::Date>("modifiedAt"),
        .volumeUsers = c.decodeIfPresent<TarnVolumeUsers>("volumeUsers"),
        .myPermissions = c.decodeIfPresent<TarnVolumePermissions>("myPermissions"),
        .myRole = c.decodeIfPresent<std::int64_t>("myRole"),
    };
}

VolumeRole TarnVolume::volumeRole() const noexcept {
    if (!myRole) return VolumeRole::uninvited;
    const auto role = Platform::fromRawValue<TarnRole>(*myRole);
    return role ? Common::volumeRole(*role) : VolumeRole::uninvited;
}

std::shared_ptr<ProjectFolderEntry> TarnVolume::entry() const {
    return std::make_shared<ProjectFolderEntry>(EntryFields{
        .identifier = itemId,
        .parentIdentifier = rootContainerItemIdentifier(),
        .name = nameWithoutPrefix,
        .modifiedAt = modifiedAt,
        .volumeRole = volumeRole(),
    });
}

}  // namespace Common

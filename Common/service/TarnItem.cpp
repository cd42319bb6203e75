#include "Common/service/TarnItem.h"

#include "Common/fileprovider/Entry.h"
#include "Common/fileprovider/FileEntry.h"
#include "Common/fileprovider/FolderEntry.h"
#include "Common/fileprovider/MyFolderEntry.h"
#include "Common/fileprovider/ProjectFolderEntry.h"
#include "Common/fileprovider/TarnRole.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/localization/LocalizedString.h"
#include "Platform/log/Logger.h"

namespace Common {

TarnItem TarnItem::decode(const Platform::KeyedDecoder& c) {
    return {
        .type = c.decode<ItemType>("type"),
        .id = c.decode<std::string>("id"),
        .name = c.decode<std::string>("name"),
        .modifiedAt = c.decodeIfPresent<Platform::Date>("modifiedAt"),
        .size = c.decodeIfPresent<std::int64_t>("size"),
        .home = c.tolerant<bool>("home").value_or(false),
        .parent = c.decodeIfPresent<TarnParentItem>("parent"),
        .volumes = c.tolerant<std::vector<TarnVolume>>("volumes"),
        .pathCollection = c.decodeIfPresent<APICollectionResponse<TarnPath>>("pathCollection"),
        .ext = c.decodeIfPresent<std::string>("ext"),
    };
}

bool TarnItem::isPjFolder() const noexcept {
    return pathCollection && parent && !home && pathCollection->entries.size() == 2 &&
           parent->id == serviceRootItemIdentifier && pathCollection->entries[1].isVolume;
}

std::string TarnItem::identifier() const {
    return type == ItemType::folder && home ? std::string(myFolderItemIdentifier) : id;
}

std::string TarnItem::parentIdentifier() const {
    if (!parent) return rootContainerItemIdentifier();
    if (parent->id != serviceRootItemIdentifier) return parent->id;
    // Top-level folders sit beside the personal folder; everything else under the root is shown inside it.
    if (type == ItemType::folder && (home || isPjFolder())) return rootContainerItemIdentifier();
    return std::string(myFolderItemIdentifier);
}

const Platform::ContentType& TarnItem::contentType() const noexcept {
    return type == ItemType::folder ? Platform::ContentType::folder() : Platform::ContentType::delimitedText();
}

VolumeRole TarnItem::volumeRole() const {
    // The handle is made only when there is something to say.
    const auto log = [](std::string_view format, const auto&... args) {
        Platform::Logger(Platform::Logger::defaultSubsystem(), "VolumeRole").debug(format, args...);
    };
    if (!pathCollection || pathCollection->entries.size() < 2) {
        log("👺 VolumeRole.uninvited %{public}s (%{public}s)", name, identifier());
        return VolumeRole::uninvited;
    }
    // Outside any volume the item lies in the user's own folder.
    if (!pathCollection->entries[1].isVolume) {
        log("👺 VolumeRole.owner");
        return VolumeRole::owner;
    }
    if (!volumes) {
        log("👺 VolumeRole.uninvited (volumes is nil)");
        return VolumeRole::uninvited;
    }
    if (volumes->empty()) {
        log("👺 VolumeRole.uninvited (tarnVolumes.first is nil)");
        return VolumeRole::uninvited;
    }
    const auto& myRole = volumes->front().myRole;
    if (!myRole) {
        log("👺 VolumeRole.uninvited (tarnVolume.myRole is nil)");
        return VolumeRole::uninvited;
    }
    const auto role = Platform::fromRawValue<TarnRole>(*myRole);
    if (!role) {
        log("👺 VolumeRole.uninvited (TarnRole(rawValue: myRole) is nil)");
        return VolumeRole::uninvited;
    }
    return Common::volumeRole(*role);
}

std::shared_ptr<Entry> TarnItem::entry() const {
    EntryFields fields{
        .identifier = identifier(),
        .parentIdentifier = parentIdentifier(),
        .name = name,
        .modifiedAt = modifiedAt,
        .size = size,
        .volumeRole = volumeRole(),
    };
    if (isMyFolder()) {
        fields.identifier = myFolderItemIdentifier;
        fields.parentIdentifier = rootContainerItemIdentifier();
        fields.name = Platform::localizedString("My Folder");
        fields.volumeRole = VolumeRole::owner;
        return std::make_shared<MyFolderEntry>(std::move(fields));
    }
    if (isPjFolder()) {
        fields.parentIdentifier = rootContainerItemIdentifier();
        return std::make_shared<ProjectFolderEntry>(std::move(fields));
    }
    if (type == ItemType::file) return std::make_shared<FileEntry>(std::move(fields));
    return std::make_shared<FolderEntry>(std::move(fields));
}

std::shared_ptr<Entry> TarnItem::entry(std::string parentIdentifier, VolumeRole volumeRole) const {
    auto built = entry();
    built->setParentIdentifier(std::move(parentIdentifier));
    built->setVolumeRole(volumeRole);
    return built;
}

}  // namespace Common

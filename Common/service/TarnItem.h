#pragma once

// Usage:
//
//   const auto item = Platform::JSONDecoder::forAPIResponse().decode<Common::TarnItem>(
//       R"({"type":"folder","id":"0","name":"My folder","home":true})");
//   item.identifier();        // "01": the personal folder as the file provider sees it
//   item.parentIdentifier();  // the root container
//   std::shared_ptr<Common::Entry> entry = item.entry();  // a MyFolderEntry
//
//   // Fetched whole, with parent, path and volumes, so volumeRole() can be told:
//   const Common::TarnItem full =
//       connection.makeAPICall(Common::WebService::TarnItemParameter("77"), std::nullopt, false).get();
//   const Common::VolumeRole role = full.volumeRole();

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Common/fileprovider/TarnVolume.h"
#include "Common/fileprovider/VolumeRole.h"
#include "Common/service/APICollectionResponse.h"
#include "Common/service/ItemType.h"
#include "Common/service/TarnParentItem.h"
#include "Common/service/TarnPath.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"
#include "Platform/uti/ContentType.h"

namespace Common {

class Entry;

// A whole item as the service describes it. `parent`, `pathCollection` and `volumes`
// arrive only when the request asks for them (TarnItemParameter's default query does).
struct QUILLO_EXPORT TarnItem {
    ItemType type = ItemType::file;
    // The service's identifier; "0" is the root, which is the personal folder.
    std::string id;
    std::string name;
    std::optional<Platform::Date> modifiedAt;
    // Bytes, for files.
    std::optional<std::int64_t> size;
    // Tolerant: anything but a boolean reads as false.
    bool home = false;
    std::optional<TarnParentItem> parent;
    // Tolerant: anything that does not decode as a whole reads as absent.
    std::optional<std::vector<TarnVolume>> volumes;
    // From the root downwards: [root, top-level folder on the path, ...].
    std::optional<APICollectionResponse<TarnPath>> pathCollection;
    std::optional<std::string> ext;

    // The user's personal folder.
    bool isMyFolder() const noexcept { return home; }
    // The top folder of a project volume, directly under the root.
    bool isPjFolder() const noexcept;
    // "01" for the personal folder, the service identifier otherwise.
    std::string identifier() const;
    // The file-provider identifier of the folder the item is shown in.
    std::string parentIdentifier() const;
    // Folder type for folders; every file is delimited text whatever its name.
    const Platform::ContentType& contentType() const noexcept;
    // The signed-in user's role for this item, from its path and first volume.
    VolumeRole volumeRole() const;

    // A MyFolderEntry, ProjectFolderEntry, FileEntry or FolderEntry, as the item is.
    std::shared_ptr<Entry> entry() const;
    // entry() moved under `parentIdentifier` with `volumeRole`, whatever the item's own path says.
    std::shared_ptr<Entry> entry(std::string parentIdentifier, VolumeRole volumeRole) const;

    static TarnItem decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnItem&) const = default;
};

}  // namespace Common

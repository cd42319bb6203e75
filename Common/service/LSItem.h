#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Common/fileprovider/VolumeRole.h"
#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

class Entry;

// One child in a folder listing: no parent, path or role of its own.
struct QUILLO_EXPORT LSItem {
    std::string id;
    std::string name;
    ItemType type = ItemType::file;
    std::optional<std::int64_t> size;
    std::optional<Platform::Date> modifiedAt;
    // The raw HomeType text ("01", "02") when the child is a top-level folder.
    std::optional<std::string> homeType;

    // A FolderEntry or FileEntry under `parentIdentifier`, with the role of the folder listed.
    std::shared_ptr<Entry> entry(std::string parentIdentifier, VolumeRole inheritedVolumeRole) const;

    static LSItem decode(const Platform::KeyedDecoder& container);
    bool operator==(const LSItem&) const = default;
};

}  // namespace Common

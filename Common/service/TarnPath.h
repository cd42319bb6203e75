#pragma once

#include <string>

#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// One folder on an item's path, from the service root downwards.
struct QUILLO_EXPORT TarnPath {
    std::string id;
    std::string name;
    ItemType type = ItemType::folder;
    // The folder is the top folder of a project volume.
    bool isVolume = false;
    bool isArchive = false;
    Platform::Date modifiedAt;

    static TarnPath decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnPath&) const = default;
};

}  // namespace Common

#pragma once

#include <string>

#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// The summary of an item's parent folder, as embedded in the item.
struct QUILLO_EXPORT TarnParentItem {
    std::string id;
    std::string name;
    ItemType type = ItemType::folder;
    Platform::Date modifiedAt;

    static TarnParentItem decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnParentItem&) const = default;
};

}  // namespace Common

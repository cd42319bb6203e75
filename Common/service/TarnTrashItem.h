#pragma once

#include <cstdint>
#include <string>

#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// An item in the trash; every field is required.
struct QUILLO_EXPORT TarnTrashItem {
    // The trash entry's own number.
    std::int64_t id = 0;
    // The service identifier of the trashed item.
    std::string itemId;
    std::string name;
    ItemType type = ItemType::file;
    Platform::Date deletedAt;
    std::int64_t size = 0;

    static TarnTrashItem decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnTrashItem&) const = default;
};

}  // namespace Common

#include "Common/service/TarnParentItem.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnParentItem TarnParentItem::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::string>("id"),
        .name = c.decode<std::string>("name"),
        .type = c.decode<ItemType>("type"),
        .modifiedAt = c.decode<Platform::Date>("modifiedAt"),
    };
}

}  // namespace Common

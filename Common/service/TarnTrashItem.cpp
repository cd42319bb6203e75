#include "Common/service/TarnTrashItem.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnTrashItem TarnTrashItem::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::int64_t>("id"),
        .itemId = c.decode<std::string>("itemId"),
        .name = c.decode<std::string>("name"),
        .type = c.decode<ItemType>("type"),
        .deletedAt = c.decode<Platform::Date>("deletedAt"),
        .size = c.decode<std::int64_t>("size"),
    };
}

}  // namespace Common

#include "Common/service/TarnPath.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnPath TarnPath::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::string>("id"),
        .name = c.decode<std::string>("name"),
        .type = c.decode<ItemType>("type"),
        .isVolume = c.decode<bool>("isVolume"),
        .isArchive = c.decode<bool>("isArchive"),
        .modifiedAt = c.decode<Platform::Date>("modifiedAt"),
    };
}

}  // namespace Common

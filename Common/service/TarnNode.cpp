#include "Common/service/TarnNode.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnNode TarnNode::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::string>("id"),
        .name = c.decode<std::string>("name"),
        .type = c.decode<ItemType>("type"),
        .volume = c.decode<bool>("volume"),
        .myPermissions = c.decodeIfPresent<TarnVolumePermissions>("myPermissions"),
    };
}

}  // namespace Common

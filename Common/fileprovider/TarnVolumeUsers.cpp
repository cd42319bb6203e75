#include "Common/fileprovider/TarnVolumeUsers.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnVolumeUser TarnVolumeUser::decode(const Platform::KeyedDecoder& c) {
    return {
        .userId = c.decodeIfPresent<std::int64_t>("userId"),
        .permissions = c.decodeIfPresent<TarnVolumePermissions>("permissions"),
    };
}

TarnVolumeUsers TarnVolumeUsers::decode(const Platform::KeyedDecoder& c) {
    return {
        .totalCount = c.decodeIfPresent<std::int64_t>("totalCount"),
        .entries = c.decodeIfPresent<std::vector<TarnVolumeUser>>("entries"),
    };
}

}  // namespace Common

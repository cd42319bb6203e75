#include "Common/auth/TarnEnterprise.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnEnterprise TarnEnterprise::decode(const Platform::KeyedDecoder& c) {
    return {
        .account = c.decode<std::string>("account"),
        .domain = c.decode<std::string>("domain"),
        .id = c.decode<std::int64_t>("id"),
        .logo = c.decode<bool>("logo"),
        .name = c.decode<std::string>("name"),
        ._storageType = c.decode<std::string>("storageType"),
    };
}

}  // namespace Common

#include "Common/service/PresignedURL.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

PresignedURL PresignedURL::decode(const Platform::KeyedDecoder& c) { return {.url = c.decode<std::string>("url")}; }

}  // namespace Common

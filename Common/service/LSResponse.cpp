#include "Common/service/LSResponse.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

LSResponse LSResponse::decode(const Platform::KeyedDecoder& c) {
    return {
        .totalCount = c.decode<std::uint64_t>("totalCount"),
        .offset = c.decode<std::uint64_t>("offset"),
        .limit = c.decode<std::uint64_t>("limit"),
        .entries = c.decode<std::vector<LSItem>>("entries"),
    };
}

}  // namespace Common

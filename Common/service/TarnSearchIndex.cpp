#include "Common/service/TarnSearchIndex.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnSearchIndex TarnSearchIndex::decode(const Platform::KeyedDecoder& c) {
    return {
        .totalCount = c.decode<std::int64_t>("totalCount"),
        .exceed = c.decode<bool>("exceed"),
        .limit = c.decode<std::int64_t>("limit"),
        .offset = c.decode<std::int64_t>("offset"),
        .entries = c.decode<std::vector<TarnItem>>("entries"),
    };
}

}  // namespace Common

#include "Common/service/TarnItemTag.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnItemTag TarnItemTag::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::int64_t>("id"),
        .word = c.decodeIfPresent<std::string>("word"),
    };
}

}  // namespace Common

#include "Common/service/Download.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

Download Download::decode(const Platform::KeyedDecoder& c) {
    return {
        .url = c.decodeIfPresent<std::string>("url"),
        .token = c.decodeIfPresent<std::string>("token"),
        .fid = c.decodeIfPresent<std::string>("fid"),
    };
}

}  // namespace Common

#include "Common/connection/WebServiceError.h"

namespace Common {

WebServiceErrorInfo WebServiceErrorInfo::decode(const Platform::KeyedDecoder& c) {
    return {
        .newName = c.decode<std::string>("newName"),
        .itemId = c.decodeIfPresent<std::string>("itemId"),
    };
}

WebServiceError WebServiceError::decode(const Platform::KeyedDecoder& c) {
    return {
        .type = c.decode<std::string>("type"),
        .status = c.decode<std::int64_t>("status"),
        .code = c.decode<std::string>("code"),
        .message = c.decode<std::string>("message"),
        .errors = c.decodeIfPresent<std::string>("errors"),
        .info = c.decodeIfPresent<WebServiceErrorInfo>("info"),
    };
}

}  // namespace Common

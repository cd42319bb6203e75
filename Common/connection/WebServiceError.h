#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Export.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

// Details some error bodies attach, e.g. the name a conflicting item was given instead.
struct QUILLO_EXPORT WebServiceErrorInfo {
    std::string newName;
    std::optional<std::string> itemId;

    static WebServiceErrorInfo decode(const Platform::KeyedDecoder& c);
    friend bool operator==(const WebServiceErrorInfo&, const WebServiceErrorInfo&) = default;
};

// The JSON body the web service sends with an error status.
struct QUILLO_EXPORT WebServiceError {
    std::string type;
    std::int64_t status = 0;
    std::string code;
    std::string message;
    std::optional<std::string> errors;
    std::optional<WebServiceErrorInfo> info;

    static WebServiceError decode(const Platform::KeyedDecoder& c);
    friend bool operator==(const WebServiceError&, const WebServiceError&) = default;
};

}  // namespace Common

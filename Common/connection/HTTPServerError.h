#pragma once

#include <optional>

#include "Common/connection/HTTPStatusCode.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"

namespace Common {

// What an error reported by one of the servers can tell about the HTTP answer behind it.
// A mixin next to Platform::Error, so any error can be asked with dynamic_cast.
class QUILLO_EXPORT HTTPServerError {
public:
    virtual ~HTTPServerError() = default;

    // The answer's status; absent when the failure was not an error status.
    virtual std::optional<HTTPStatusCode> statusCode() const = 0;
    // The answer's body as received; absent when there was none to keep.
    virtual std::optional<Platform::Data> responseData() const = 0;

protected:
    HTTPServerError() = default;
    HTTPServerError(const HTTPServerError&) = default;
    HTTPServerError& operator=(const HTTPServerError&) = default;
};

}  // namespace Common

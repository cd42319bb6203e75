#include "Common/connection/HTTPStatusCode.h"

namespace Common {

HTTPStatusCodeResponseType responseType(HTTPStatusCode code) noexcept {
    // Read the enum's own value so a code cast in from outside the table still classifies.
    switch (static_cast<int>(code) / 100) {
        case 1: return HTTPStatusCodeResponseType::informational;
        case 2: return HTTPStatusCodeResponseType::success;
        case 3: return HTTPStatusCodeResponseType::redirection;
        case 4: return HTTPStatusCodeResponseType::clientError;
        case 5: return HTTPStatusCodeResponseType::serverError;
        default: return HTTPStatusCodeResponseType::undefined;
    }
}

std::optional<HTTPStatusCode> statusOf(long httpStatus) noexcept {
    return Platform::fromRawValue<HTTPStatusCode>(httpStatus);
}

}  // namespace Common

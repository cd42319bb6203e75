#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/http/URLRequest.h"
#include "Platform/url/URL.h"

namespace Common {

// Every REST call waits this long at most.
inline constexpr double apiRequestTimeoutInterval = 180;

// Sent with every request of a connection's sessions, in this order.
inline const std::vector<std::pair<std::string, std::string>>& additionalSessionHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers{
        {"Accept", "application/json"},
        {"X-Tarn-Client", "osx"},
    };
    return headers;
}

// Where a connection sends its calls.
struct QUILLO_EXPORT APIServer {
    std::string scheme;
    std::string host;
    std::optional<int> port;
};

// The URL of a call: the server's scheme, host and port, the parameter's path and its
// already-encoded query items. No value when these do not form a URL or the parameter's
// identifier is not acceptable as a path segment.
[[nodiscard]] QUILLO_EXPORT std::optional<Platform::URL> apiRequestURL(const APIServer& server, const APIParameter& parameter);

// Headers a call adds to the session's own, in order: Content-Type for JSON requests,
// then Authorization when the parameter requires it and a token is given.
QUILLO_EXPORT std::vector<std::pair<std::string, std::optional<std::string>>> apiRequestHeaders(
    const APIParameter& parameter, std::optional<std::string_view> accessToken);

// The request: URL, cache policy, timeout, optional body, method and headers; a header
// without a value adds nothing.
QUILLO_EXPORT Platform::URLRequest makeURLRequest(Platform::URL url, Platform::URLRequestCachePolicy cachePolicy,
                                    double timeoutInterval, std::optional<Platform::Data> httpBody,
                                    std::string httpMethod,
                                    const std::vector<std::pair<std::string, std::optional<std::string>>>& headers);

}  // namespace Common

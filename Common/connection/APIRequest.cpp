#include "Common/connection/APIRequest.h"

#include "Platform/url/URLComponents.h"

namespace Common {

std::optional<Platform::URL> apiRequestURL(const APIServer& server, const APIParameter& parameter) {
    // An identifier such as "../../admin" would carry the user's token to another endpoint.
    if (!parameter.hasAcceptableIdentifier()) return std::nullopt;
    return Platform::URLComponents{
        .scheme = server.scheme,
        .host = server.host,
        .port = server.port,
        .path = parameter.endpoint(),
        .percentEncodedQueryItems = parameter.queryItems(),
    }
        .url();
}

std::vector<std::pair<std::string, std::optional<std::string>>> apiRequestHeaders(
    const APIParameter& parameter, std::optional<std::string_view> accessToken) {
    std::vector<std::pair<std::string, std::optional<std::string>>> headers;
    if (parameter.isJSONRequest()) headers.emplace_back("Content-Type", "application/json; charset=UTF-8");
    if (parameter.isAuthRequired() && accessToken) {
        headers.emplace_back("Authorization", "Bearer " + std::string(*accessToken));
    }
    return headers;
}

Platform::URLRequest makeURLRequest(Platform::URL url, Platform::URLRequestCachePolicy cachePolicy,
                                    double timeoutInterval, std::optional<Platform::Data> httpBody,
                                    std::string httpMethod,
                                    const std::vector<std::pair<std::string, std::optional<std::string>>>& headers) {
    Platform::URLRequest request{.url = std::move(url),
                                 .cachePolicy = cachePolicy,
                                 .timeoutInterval = timeoutInterval,
                                 .httpBody = std::move(httpBody),
                                 .httpMethod = std::move(httpMethod)};
    for (const auto& [name, value] : headers) {
        if (value) request.setValue(*value, name);
    }
    return request;
}

}  // namespace Common

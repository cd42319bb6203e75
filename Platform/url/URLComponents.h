#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/url/URL.h"
#include "Platform/url/URLQueryItem.h"

namespace Platform {

// Builds a URL from parts that are already percent-encoded; nothing is encoded
// on the way. Aggregate, so `URLComponents{.scheme = "https", .host = "h"}` works.
struct QUILLO_EXPORT URLComponents {
    std::optional<std::string> scheme;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path;
    // Joined as name[=value] with '&'. An empty list writes no '?' at all.
    std::optional<std::vector<URLQueryItem>> percentEncodedQueryItems;

    // nullopt when the scheme is missing, the port is outside 0...65535 (libcurl
    // also refuses 0), a non-empty path does not start with '/', the path or a
    // query item holds a character that may not appear there unencoded, or
    // libcurl refuses the result. Escapes keep their case.
    [[nodiscard]] std::optional<URL> url() const;
};

}  // namespace Platform

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/url/URL.h"

namespace Platform {

enum class URLRequestCachePolicy {
    useProtocolCachePolicy,
    // Never answer from a local cache; the sessions keep none, so this only states intent.
    reloadIgnoringLocalCacheData,
};

// One HTTP request as a session sends it.
struct QUILLO_EXPORT URLRequest {
    URL url;
    URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::useProtocolCachePolicy;
    double timeoutInterval = 60;
    std::optional<Data> httpBody;
    std::string httpMethod = "GET";
    // In the order they were set; names compare without regard to letter case.
    std::vector<std::pair<std::string, std::string>> allHTTPHeaderFields;

    // Sets or replaces a header field; no value removes it.
    void setValue(std::optional<std::string> value, std::string_view field);
    std::optional<std::string> value(std::string_view field) const;
};

}  // namespace Platform

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/url/URL.h"

namespace Platform {

// The final response of a request, after redirects were followed.
struct QUILLO_EXPORT HTTPURLResponse {
    // Where the response came from: the request's URL, or the last redirect's target.
    URL url;
    long statusCode = 0;
    // As received, in order; a field sent several times appears several times.
    std::vector<std::pair<std::string, std::string>> allHeaderFields;

    // The field's value, compared without regard to letter case; the values of a field
    // sent several times are joined with ", ".
    std::optional<std::string> value(std::string_view field) const;
};

}  // namespace Platform

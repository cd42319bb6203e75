#include "Platform/http/URLRequest.h"

#include <algorithm>
#include <cctype>

#include "Platform/core/ASCII.h"

namespace Platform {

void URLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    auto it = std::find_if(allHTTPHeaderFields.begin(), allHTTPHeaderFields.end(),
                           [&](const auto& header) { return equalsIgnoringASCIICase(header.first, field); });
    if (!value) {
        if (it != allHTTPHeaderFields.end()) allHTTPHeaderFields.erase(it);
    } else if (it != allHTTPHeaderFields.end()) {
        it->second = std::move(*value);
    } else {
        allHTTPHeaderFields.emplace_back(std::string(field), std::move(*value));
    }
}

std::optional<std::string> URLRequest::value(std::string_view field) const {
    for (const auto& [name, value] : allHTTPHeaderFields) {
        if (equalsIgnoringASCIICase(name, field)) return value;
    }
    return std::nullopt;
}

}  // namespace Platform

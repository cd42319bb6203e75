#include "Platform/http/URLRequest.h"

#include <algorithm>
#include <cctype>

namespace Platform {

namespace {

bool sameField(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void URLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    auto it = std::find_if(allHTTPHeaderFields.begin(), allHTTPHeaderFields.end(),
                           [&](const auto& header) { return sameField(header.first, field); });
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
        if (sameField(name, field)) return value;
    }
    return std::nullopt;
}

}  // namespace Platform

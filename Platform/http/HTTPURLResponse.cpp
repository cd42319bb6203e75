#include "Platform/http/HTTPURLResponse.h"

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

std::optional<std::string> HTTPURLResponse::value(std::string_view field) const {
    std::optional<std::string> joined;
    for (const auto& [name, value] : allHeaderFields) {
        if (!sameField(name, field)) continue;
        if (joined) {
            *joined += ", ";
            *joined += value;
        } else {
            joined = value;
        }
    }
    return joined;
}

}  // namespace Platform

#include "Platform/http/HTTPURLResponse.h"

#include <algorithm>
#include <cctype>

#include "Platform/core/ASCII.h"

namespace Platform {

std::optional<std::string> HTTPURLResponse::value(std::string_view field) const {
    std::optional<std::string> joined;
    for (const auto& [name, value] : allHeaderFields) {
        if (!equalsIgnoringASCIICase(name, field)) continue;
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

#pragma once

#include <algorithm>
#include <string_view>

namespace Platform {

// Equal but for the letter case of ASCII letters: header field names, schemes, methods.
inline bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace Platform

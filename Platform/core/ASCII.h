#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace Platform {

// Equal but for the letter case of ASCII letters: header field names, schemes, methods.
inline bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// A look-up table of ASCII letters and digits plus `others`, for checks made on every
// character of every request.
constexpr std::array<bool, 256> alphanumericsAnd(std::string_view others) noexcept {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
    for (const char c : others) table[static_cast<unsigned char>(c)] = true;
    return table;
}

}  // namespace Platform

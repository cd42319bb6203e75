#include "Platform/url/PercentEncoding.h"

#include "Platform/core/UTF8.h"

namespace Platform {

namespace {

bool isAllowed(unsigned char c) {
    static constexpr std::string_view marks = "-._~!$'()*,;=:@/?";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           marks.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> addingPercentEncoding(std::string_view text) {
    if (!isValidUTF8(text)) return std::nullopt;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAllowed(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0x0F];
        }
    }
    return encoded;
}

}  // namespace Platform

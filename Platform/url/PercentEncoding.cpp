#include "Platform/url/PercentEncoding.h"

#include "Platform/core/UTF8.h"

namespace Platform {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string percentEncoding(std::string_view text, std::string_view allowedMarks) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             allowedMarks.find(ch) != std::string_view::npos;
        if (allowed) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0x0F];
        }
    }
    return encoded;
}

std::optional<std::string> addingPercentEncoding(std::string_view text) {
    if (!isValidUTF8(text)) return std::nullopt;
    return percentEncoding(text, "-._~!$'()*,;=:@/?");
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (text.size() - i < 3) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded += static_cast<char>((high << 4) | low);
        i += 2;
    }
    if (!isValidUTF8(decoded)) return std::nullopt;
    return decoded;
}

}  // namespace Platform

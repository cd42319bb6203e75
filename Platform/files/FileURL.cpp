#include "Platform/files/FileURL.h"

#include "Platform/url/PercentEncoding.h"
#include "Platform/url/URLComponents.h"

namespace Platform {

namespace {

bool isPathCharacter(unsigned char c) {
    static constexpr std::string_view marks = "-._~!$&'()*+,;=:@";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           marks.find(static_cast<char>(c)) != std::string_view::npos;
}

// Encodes a path, keeping '/' as the separator.
std::string encodedPath(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '/' || isPathCharacter(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0x0F];
        }
    }
    return encoded;
}

}  // namespace

std::optional<URL> fileURL(const std::filesystem::path& path, bool isDirectory) {
    std::string text = path.generic_string();
    if (!path.is_absolute() || text.find('\0') != std::string::npos) return std::nullopt;
    if (isDirectory && text.back() != '/') text += '/';
    return URLComponents{.scheme = "file", .path = encodedPath(text)}.url();
}

std::optional<std::filesystem::path> filePath(const URL& url) {
    if (url.scheme() != "file" || !(url.host().empty() || url.host() == "localhost")) return std::nullopt;
    auto decoded = removingPercentEncoding(url.path());
    if (!decoded || decoded->empty() || decoded->front() != '/' || decoded->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return std::filesystem::path(std::move(*decoded));
}

std::optional<URL> appendingPathComponent(const URL& url, std::string_view component) {
    std::string path = url.path();
    if (path.empty() || path.back() != '/') path += '/';
    path += encodedPath(component);
    URLComponents components{.scheme = url.scheme(), .port = url.port(), .path = std::move(path)};
    if (!url.host().empty()) components.host = url.host();
    return components.url();
}

}  // namespace Platform

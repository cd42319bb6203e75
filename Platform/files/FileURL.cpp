#include "Platform/files/FileURL.h"

#include "Platform/url/PercentEncoding.h"
#include "Platform/url/URLComponents.h"

namespace Platform {

namespace {

// Encodes a path, keeping '/' as the separator.
std::string encodedPath(std::string_view path) { return percentEncoding(path, "-._~!$&'()*+,;=:@/"); }

}  // namespace

std::optional<URL> fileURL(const std::filesystem::path& path, FileURLKind kind) {
    std::string text = path.generic_string();
    if (!path.is_absolute() || text.find('\0') != std::string::npos) return std::nullopt;
    if (kind == FileURLKind::directory && text.back() != '/') text += '/';
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

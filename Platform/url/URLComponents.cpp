#include "Platform/url/URLComponents.h"

#include <curl/curl.h>

#include <string_view>

#include "Platform/core/UniqueHandle.h"
#include "Platform/http/internal/CurlGlobal.h"

namespace Platform {

using detail::ensureCurlGlobalInit;

namespace {

using CurlURLHandle = UniqueHandle<CURLU*, &curl_url_cleanup>;
using CurlText = UniqueHandle<char*, &curl_free>;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Query text as it may appear unencoded: unreserved, sub-delims, ":@/?", and
// "%" only as the start of an escape.
bool isEncodedComponent(std::string_view text) {
    static constexpr std::string_view allowedMarks = "-._~!$&'()*+,;=:@/?";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            allowedMarks.find(c) != std::string_view::npos) {
            continue;
        }
        if (c == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

bool hasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// "scheme://authority/" as libcurl writes it; false when libcurl refuses a part.
bool authorityText(const std::string& scheme, const std::optional<std::string>& host, const std::optional<int>& port,
                   std::string& text) {
    // A connection builds every call's URL on the same scheme, host and port: the
    // thread's last answer is reused rather than asked of libcurl again.
    struct Authority {
        std::string scheme;
        std::optional<std::string> host;
        std::optional<int> port;
        std::string text;
    };
    thread_local std::optional<Authority> last;
    if (last && last->scheme == scheme && last->host == host && last->port == port) {
        text = last->text;
        return true;
    }

    ensureCurlGlobalInit();
    const CurlURLHandle handle(curl_url());
    if (!handle) return false;
    CURLU* const h = handle.get();
    if (curl_url_set(h, CURLUPART_SCHEME, scheme.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return false;
    if (host && curl_url_set(h, CURLUPART_HOST, host->c_str(), 0) != CURLUE_OK) return false;
    if (port && curl_url_set(h, CURLUPART_PORT, std::to_string(*port).c_str(), 0) != CURLUE_OK) return false;
    // Without a path libcurl 7.88 writes "file://(nil)" for a host-less URL.
    if (curl_url_set(h, CURLUPART_PATH, "/", 0) != CURLUE_OK) return false;

    char* base = nullptr;
    const CURLUcode code = curl_url_get(h, CURLUPART_URL, &base, 0);
    const CurlText owner(base);
    if (code != CURLUE_OK || !owner) return false;
    text = base;
    last = Authority{.scheme = scheme, .host = host, .port = port, .text = text};
    return true;
}

}  // namespace

std::optional<URL> URLComponents::url() const {
    if (!scheme || scheme->empty() || hasNul(*scheme) || (host && hasNul(*host))) return std::nullopt;
    if (port && (*port < 0 || *port > 65535)) return std::nullopt;
    // A rootless path would run into the authority; '?' and '#' would end the path.
    if ((!path.empty() && path.front() != '/') || path.find_first_of("?#") != std::string::npos ||
        !isEncodedComponent(path)) {
        return std::nullopt;
    }

    std::string query;
    if (percentEncodedQueryItems) {
        bool first = true;
        for (const auto& item : *percentEncodedQueryItems) {
            if (!isEncodedComponent(item.name) || (item.value && !isEncodedComponent(*item.value))) {
                return std::nullopt;
            }
            if (!first) query += '&';
            first = false;
            query += item.description();
        }
    }

    std::string text;
    if (!authorityText(*scheme, host, port, text)) return std::nullopt;
    // libcurl checked scheme, host and port and wrote "scheme://authority/". Path and
    // query are not set as parts because curl_url_set lower-cases their escapes ("%2B"
    // -> "%2b"); they are appended to that text and the whole is parsed again, which
    // also rejects anything libcurl would not accept.
    if (!path.empty() && !text.empty() && text.back() == '/') text.pop_back();
    text += path;
    if (!query.empty()) text += '?' + query;
    return URL::parse(text);
}

}  // namespace Platform

#include "Platform/url/URLComponents.h"

#include <curl/curl.h>

#include <array>
#include <string_view>

#include "Platform/core/ASCII.h"
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
    // One look-up a character: every call's path and query pass through here.
    static constexpr auto allowed = alphanumericsAnd("-._~!$&'()*+,;=:@/?");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (allowed[static_cast<unsigned char>(c)]) continue;
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

// "scheme://authority/" as libcurl writes it, and that text parsed. A connection builds
// every call's URL on the same scheme, host and port: the thread's last answer is reused
// rather than asked of libcurl again.
struct Authority {
    std::string scheme;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string text;
    // The text parsed; none when it does not stand as a URL alone ("file:///").
    std::optional<URL> base;
};

const Authority* authority(const std::string& scheme, const std::optional<std::string>& host,
                           const std::optional<int>& port) {
    thread_local std::optional<Authority> last;
    if (last && last->scheme == scheme && last->host == host && last->port == port) return &*last;

    ensureCurlGlobalInit();
    const CurlURLHandle handle(curl_url());
    if (!handle) return nullptr;
    CURLU* const h = handle.get();
    if (curl_url_set(h, CURLUPART_SCHEME, scheme.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return nullptr;
    if (host && curl_url_set(h, CURLUPART_HOST, host->c_str(), 0) != CURLUE_OK) return nullptr;
    if (port && curl_url_set(h, CURLUPART_PORT, std::to_string(*port).c_str(), 0) != CURLUE_OK) return nullptr;
    // Without a path libcurl 7.88 writes "file://(nil)" for a host-less URL.
    if (curl_url_set(h, CURLUPART_PATH, "/", 0) != CURLUE_OK) return nullptr;

    char* text = nullptr;
    const CURLUcode code = curl_url_get(h, CURLUPART_URL, &text, 0);
    const CurlText owner(text);
    if (code != CURLUE_OK || !owner) return nullptr;
    auto base = URL::parse(text);
    if (base && (base->query() || base->fragment())) base.reset();
    // libcurl's parse writes the scheme in lower case; the parts as set keep it as given.
    std::string prefix = base ? base->absoluteString() : std::string(text);
    last = Authority{.scheme = scheme, .host = host, .port = port, .text = std::move(prefix), .base = std::move(base)};
    return &*last;
}

// Longer text goes through libcurl's parse, which has its own bound on length.
constexpr std::size_t longestUncheckedText = 64 * 1024;

// libcurl's parse leaves a path of the characters isEncodedComponent allows as it is,
// except for dot segments, which it removes ("/a/../b" -> "/b"). Such paths, also
// spelled with "%2e", take the full parse.
bool mayHoldDotSegment(std::string_view path) {
    return path.find("/.") != std::string_view::npos || path.find("%2e") != std::string_view::npos ||
           path.find("%2E") != std::string_view::npos;
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
            query += item.name;  // as item.description(), without a string of its own
            if (item.value) {
                query += '=';
                query += *item.value;
            }
        }
    }

    const Authority* const prefix = authority(*scheme, host, port);
    if (!prefix) return std::nullopt;
    // libcurl checked scheme, host and port and wrote "scheme://authority/". Path and
    // query are not set as parts because curl_url_set lower-cases their escapes ("%2B"
    // -> "%2b"); they are appended to that text.
    std::string text;
    text.reserve(prefix->text.size() + path.size() + query.size() + 1);
    text = prefix->text;
    if (!path.empty() && !text.empty() && text.back() == '/') text.pop_back();
    text += path;
    if (!query.empty()) {
        text += '?';
        text += query;
    }
    // Parsing that text again would give back the same text, the prefix's parts, this
    // path and this query: libcurl's URL API cost more than the rest of a call's set-up.
    if (!prefix->base || mayHoldDotSegment(path) || text.size() > longestUncheckedText) return URL::parse(text);
    const URL& base = *prefix->base;
    URL url;
    url.absoluteString_ = std::move(text);
    url.scheme_ = base.scheme_;
    url.host_ = base.host_;
    url.port_ = base.port_;
    url.path_ = path.empty() ? base.path_ : path;
    if (!query.empty()) url.query_ = std::move(query);
    return url;
}

}  // namespace Platform

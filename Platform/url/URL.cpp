#include "Platform/url/URL.h"

#include <utility>

#include <curl/curl.h>

#include <charconv>

#include "Platform/core/UniqueHandle.h"
#include "Platform/http/internal/CurlGlobal.h"

namespace Platform {

using detail::ensureCurlGlobalInit;

namespace {

using CurlURLHandle = UniqueHandle<CURLU*, &curl_url_cleanup>;
using CurlText = UniqueHandle<char*, &curl_free>;

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
    char* text = nullptr;
    const CURLUcode code = curl_url_get(handle, which, &text, 0);
    const CurlText owner(text);
    if (code != CURLUE_OK || !owner) return std::nullopt;
    return std::string(owner.get());
}

CurlURLHandle parsedHandle(const std::string& text) {
    CurlURLHandle handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return CurlURLHandle();
    }
    return handle;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
    // libcurl reads C strings: an embedded NUL would silently cut the text short.
    if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
    ensureCurlGlobalInit();

    CurlURLHandle handle = parsedHandle(std::string(text));
    if (!handle) return std::nullopt;
    auto normalized = part(handle.get(), CURLUPART_URL);
    if (!normalized) return std::nullopt;
    // Components come from the normalized text so they always agree with it;
    // "http://h/?" normalizes to "http://h/" yet keeps an empty query otherwise.
    // Text that is already normal (every URL the library builds) is parsed once.
    // libcurl's normal form may take more than one pass to settle (a percent-encoded
    // host, bytes that are not UTF-8): parse until it does, so a URL's text always
    // parses back to the same URL; text that never settles is refused.
    std::string previous(text);
    for (int pass = 0; *normalized != previous; ++pass) {
        if (pass == 3) return std::nullopt;
        auto next = parsedHandle(*normalized);
        if (!next) return std::nullopt;
        auto again = part(next.get(), CURLUPART_URL);
        if (!again) return std::nullopt;
        previous = std::exchange(*normalized, std::move(*again));
        handle = std::move(next);
    }

    URL url;
    url.absoluteString_ = std::move(*normalized);
    url.scheme_ = part(handle.get(), CURLUPART_SCHEME).value_or("");
    url.host_ = part(handle.get(), CURLUPART_HOST).value_or("");
    url.path_ = part(handle.get(), CURLUPART_PATH).value_or("");
    url.query_ = part(handle.get(), CURLUPART_QUERY);
    url.fragment_ = part(handle.get(), CURLUPART_FRAGMENT);
    if (const auto port = part(handle.get(), CURLUPART_PORT)) {
        int value = 0;
        const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
        if (error != std::errc() || end != port->data() + port->size()) return std::nullopt;
        url.port_ = value;
    }
    return url;
}

}  // namespace Platform

// Feeds arbitrary text to the URL parser, the components builder and percent
// encoding; nothing may crash and every built URL must parse back to itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/url/PercentEncoding.h"
#include "Platform/url/URLComponents.h"

using Platform::URL;
using Platform::URLComponents;
using Platform::URLQueryItem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);

    const std::string whole = provider.ConsumeRandomLengthString(512);
    if (const auto url = URL::parse(whole)) {
        if (URL::parse(url->absoluteString()) != url) std::abort();
    }

    URLComponents components;
    if (provider.ConsumeBool()) components.scheme = provider.ConsumeRandomLengthString(16);
    if (provider.ConsumeBool()) components.host = provider.ConsumeRandomLengthString(64);
    if (provider.ConsumeBool()) components.port = provider.ConsumeIntegral<int>();
    components.path = provider.ConsumeRandomLengthString(128);
    if (provider.ConsumeBool()) {
        std::vector<URLQueryItem> items(provider.ConsumeIntegralInRange<std::size_t>(0, 8));
        for (auto& item : items) {
            item.name = provider.ConsumeRandomLengthString(32);
            if (provider.ConsumeBool()) item.value = provider.ConsumeRandomLengthString(32);
        }
        components.percentEncodedQueryItems = std::move(items);
    }
    if (const auto url = components.url()) {
        if (URL::parse(url->absoluteString()) != url) std::abort();
    }

    // Whatever the encoder lets through must be a valid query value.
    if (const auto encoded = Platform::addingPercentEncoding(provider.ConsumeRemainingBytesAsString())) {
        const URLComponents query{.scheme = "https",
                                  .host = "example.com",
                                  .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q", *encoded}}};
        if (!query.url()) std::abort();
    }
    return 0;
}

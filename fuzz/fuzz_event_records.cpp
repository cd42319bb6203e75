// Arbitrary bytes as an events answer, alone and inside valid envelopes: the only way
// to fail is DecodingError, and an action text of any kind never fails an event.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Common/fileprovider/TarnEvent.h"
#include "Platform/core/RawValues.h"
#include "Platform/json/JSONDecoder.h"

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();

template <class T, class Use>
void decode(std::string_view json, Use use) {
    try {
        use(api.decode<T>(json));
    } catch (const Platform::DecodingError& e) {
        (void)e.codingPathDescription();
        (void)e.what();
    }
}

const std::string head =
    R"({"access":{"app":"a"},"account":{"enterprise_id":1,"user":{"id":2,"name":"n","avatar_url":"u"}},)"
    R"("target":{"item":{"scheme":"s","type":"file"}},"performed_at":"2024-01-02T03:04:05.678Z","action_id":null,)";

void events(std::string_view json) {
    decode<std::vector<Common::TarnEvent>>(json, [](const std::vector<Common::TarnEvent>& list) {
        for (const auto& event : list) (void)Platform::rawValue(event.action);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    events(input);
    events("[" + input + "]");
    events("[" + head + R"("action":)" + input + "}]");
    events(R"([{"access":{"app":"a"},"account":)" + input + "}]");
    events(R"([)" + head.substr(0, head.find(R"("target")")) + R"("target":)" + input + R"(,"action":"x"}])");
    // Any string as the action decodes; the fallback keeps the event.
    std::string text;
    for (char c : input) {
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f) text += c;
    }
    bool decoded = false;
    decode<std::vector<Common::TarnEvent>>("[" + head + R"("action":")" + text + "\"}]",
                                          [&](const auto& list) { decoded = list.size() == 1; });
    if (!decoded) std::abort();
    return 0;
}

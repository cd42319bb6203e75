// Arbitrary bytes as the header lines of one exchange, the way libcurl hands them over
// (one line at a time, line ending included). Whatever arrives, the fields stay within
// the bounds, trailers stay out of them, and a refusal is final.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Platform/http/internal/ResponseHeaderParser.h"

using Platform::detail::ResponseHeaderLimits;
using Platform::detail::ResponseHeaderParser;

namespace {

void check(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the bounds: the real ones, or small ones the fuzzer reaches often.
    const ResponseHeaderLimits limits = data[0] & 1 ? ResponseHeaderLimits{}
                                                    : ResponseHeaderLimits{.maximumLineLength = 40,
                                                                           .maximumBlockLength = 120,
                                                                           .maximumFieldCount = 6,
                                                                           .maximumBlockCount = 3};
    ResponseHeaderParser parser(limits);
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    bool refused = false;
    while (!input.empty()) {
        const auto end = input.find('\n');
        const std::string_view line = input.substr(0, end == std::string_view::npos ? input.size() : end + 1);
        input.remove_prefix(line.size());

        const std::size_t fieldsBefore = parser.fields().size();
        const auto kind = parser.receive(line);
        check(!refused || kind == ResponseHeaderParser::Line::refused);
        refused = kind == ResponseHeaderParser::Line::refused;
        check(refused == parser.isRefused());
        check(!refused || (parser.fields().empty() && !parser.refusal().empty()));
        if (kind == ResponseHeaderParser::Line::trailer) check(parser.fields().size() == fieldsBefore);

        check(parser.fields().size() <= limits.maximumFieldCount);
        check(parser.statusCode() >= 0 && parser.statusCode() <= 999);
        std::size_t bytes = 0;
        for (const auto& [name, value] : parser.fields()) {
            check(!name.empty());
            check(name.find_first_of(std::string_view(":\n\0", 3)) == std::string::npos);
            check(value.find_first_of(std::string_view("\n\0", 2)) == std::string::npos);
            bytes += name.size() + value.size();
        }
        check(bytes <= limits.maximumBlockLength);
    }
    return 0;
}

// Parses arbitrary text with both date formatters; every accepted date must
// survive format -> parse -> format to the same millisecond.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Platform/time/ISO8601DateFormatter.h"

using Platform::Date;
using Platform::ISO8601DateFormatter;

namespace {

// A zone offset can carry year 0000 or 9999 across the edge; such texts cannot
// be read back with four year digits.
bool hasFourDigitYear(const std::string& text) {
    return text.size() > 4 && text[0] != '-' && text[4] == '-';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto& fractional = ISO8601DateFormatter::withFractionalSeconds();
    const auto& plain = ISO8601DateFormatter::internetDateTime();

    for (const ISO8601DateFormatter* formatter : {&plain, &fractional}) {
        const auto date = formatter->date(text);
        if (!date) continue;
        const std::string formatted = fractional.string(*date);
        const auto again = fractional.date(formatted);
        if (!again) {
            if (hasFourDigitYear(formatted)) std::abort();
            continue;
        }
        if (fractional.string(*again) != formatted) std::abort();
        if (std::fabs(again->timeIntervalSince1970 - date->timeIntervalSince1970) >= 0.001) std::abort();
        if (plain.string(*date) != formatted.substr(0, formatted.size() - 5) + 'Z') std::abort();
    }

    // Any double at all must format without trouble.
    if (size >= sizeof(double)) {
        double seconds = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        (void)fractional.string(Date{seconds});
        (void)plain.string(Date{seconds});
    }
    return 0;
}

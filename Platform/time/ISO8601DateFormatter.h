#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {

// Internet date-time texts such as "2024-05-01T09:30:00Z" or, with fractional
// seconds, "2024-05-01T09:30:00.123+02:00". Parsing is strict: four-digit year,
// 'T' separator, and a zone designator ('Z', "+HH:MM" or "+HHMM") are required;
// the plain variant refuses a fraction and the fractional variant demands one.
// Formatting always writes UTC with "Z"; the fractional variant writes exactly
// three digits of milliseconds, rounded down.
class QUILLO_EXPORT ISO8601DateFormatter {
public:
    enum class Options { internetDateTime, withFractionalSeconds };

    explicit ISO8601DateFormatter(Options options = Options::internetDateTime) noexcept : options_(options) {}

    // Shared instances, created once per process.
    static const ISO8601DateFormatter& internetDateTime();
    static const ISO8601DateFormatter& withFractionalSeconds();

    Options options() const noexcept { return options_; }

    // The date the text denotes, or nullopt when it is not exactly in this format.
    [[nodiscard]] std::optional<Date> date(std::string_view text) const noexcept;

    // Proleptic Gregorian calendar with at least four year digits; years before 0
    // carry a leading '-'. Empty when the date is not finite or lies more than
    // 4e18 seconds from 1970, where the calendar arithmetic would overflow.
    std::string string(Date date) const;

private:
    Options options_;
};

}  // namespace Platform

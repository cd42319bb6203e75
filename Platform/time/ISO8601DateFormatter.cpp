#include "Platform/time/ISO8601DateFormatter.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace Platform {

namespace {

constexpr std::int64_t secondsPerDay = 86400;
// Beyond this the day count would leave 64-bit range in the calendar arithmetic.
constexpr double largestFormattableSeconds = 4.0e18;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` decimal digits at `pos`.
bool readDigits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
    if (pos > text.size() || text.size() - pos < count) return false;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (!isDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

// Days since 1970-01-01 in the proleptic Gregorian calendar, for the four-digit years a
// text can hold (0...9999). Years count from March so the leap day ends them; shifted by
// one era of 400 years (146097 days) so everything stays unsigned and no division needs a
// sign fix. Parsing runs once per date field of every answer.
std::int64_t daysFromFourDigitYear(unsigned year, unsigned month, unsigned day) {
    const unsigned shiftedYear = year + 400 - (month <= 2 ? 1 : 0);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned days = shiftedYear * 365 + shiftedYear / 4 - shiftedYear / 100 + shiftedYear / 400 + dayOfYear;
    return static_cast<std::int64_t>(days) - 719468 - 146097;
}

bool isLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr std::int64_t nanosecondsPerMillisecond = 1'000'000;

// Whole milliseconds as fractions of a second, divided at compile time exactly as
// composeSeconds divides: nearly every date on the wire has such a fraction, and the
// division is the slowest step of a parse.
constexpr auto millisecondFractions = [] {
    std::array<double, 1000> fractions{};
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        fractions[i] = static_cast<double>(static_cast<std::int64_t>(i) * nanosecondsPerMillisecond) / 1e9;
    }
    return fractions;
}();

// Parsing and formatting both build a date this way, so a formatted millisecond
// parses back to the very same double.
double composeSeconds(std::int64_t seconds, std::int64_t nanoseconds) {
    const double fraction = nanoseconds % nanosecondsPerMillisecond == 0
                                ? millisecondFractions[static_cast<std::size_t>(nanoseconds / nanosecondsPerMillisecond)]
                                : static_cast<double>(nanoseconds) / 1e9;
    return static_cast<double>(seconds) + fraction;
}

// The largest millisecond whose parsed value does not lie after `t`. Multiplying
// the fraction alone can land a hair below the integer and print .122 for .123.
int flooredMilliseconds(std::int64_t seconds, double t) {
    int millis = std::clamp(static_cast<int>((t - static_cast<double>(seconds)) * 1000.0), 0, 999);
    while (millis > 0 && composeSeconds(seconds, millis * 1'000'000LL) > t) --millis;
    while (millis < 999 && composeSeconds(seconds, (millis + 1) * 1'000'000LL) <= t) ++millis;
    return millis;
}

}  // namespace

const ISO8601DateFormatter& ISO8601DateFormatter::internetDateTime() {
    static const ISO8601DateFormatter formatter(Options::internetDateTime);
    return formatter;
}

const ISO8601DateFormatter& ISO8601DateFormatter::withFractionalSeconds() {
    static const ISO8601DateFormatter formatter(Options::withFractionalSeconds);
    return formatter;
}

std::optional<Date> ISO8601DateFormatter::date(std::string_view text) const noexcept {
    // "YYYY-MM-DDTHH:MM:SS" sits at fixed places: check every digit at once, then read.
    // Refusals are marked unlikely: without that the compiler took the accepted path for
    // the cold one and built it for size, with real divisions in the calendar arithmetic.
    if (text.size() < 20) [[unlikely]] return std::nullopt;
    const auto digit = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(text[i])) - '0'; };
    const auto notDigit = [&](std::size_t i) { return digit(i) > 9 ? 1U : 0U; };
    const unsigned notDigits = notDigit(0) | notDigit(1) | notDigit(2) | notDigit(3) | notDigit(5) | notDigit(6) |
                               notDigit(8) | notDigit(9) | notDigit(11) | notDigit(12) | notDigit(14) | notDigit(15) |
                               notDigit(17) | notDigit(18);
    if (notDigits != 0 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') [[unlikely]] {
        return std::nullopt;
    }
    const unsigned year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
    const unsigned month = digit(5) * 10 + digit(6);
    const unsigned day = digit(8) * 10 + digit(9);
    const unsigned hour = digit(11) * 10 + digit(12);
    const unsigned minute = digit(14) * 10 + digit(15);
    const unsigned second = digit(17) * 10 + digit(18);
    static constexpr unsigned char monthLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) [[unlikely]] {
        return std::nullopt;
    }
    if (day > monthLengths[month - 1] && !(month == 2 && day == 29 && isLeapYear(year))) [[unlikely]] {
        return std::nullopt;
    }

    std::size_t pos = 19;
    std::int64_t nanoseconds = 0;
    if (options_ == Options::withFractionalSeconds) {
        if (text[pos] != '.') [[unlikely]] return std::nullopt;
        const std::size_t start = ++pos;
        // Digits past nanoseconds are checked but carry nothing a double could hold.
        static constexpr std::int64_t scales[] = {100'000'000, 10'000'000, 1'000'000, 100'000, 10'000,
                                                  1'000,       100,        10,        1};
        for (std::size_t digit = 0; pos < text.size() && isDigit(text[pos]); ++digit, ++pos) {
            if (digit < std::size(scales)) nanoseconds += (text[pos] - '0') * scales[digit];
        }
        if (pos == start) [[unlikely]] return std::nullopt;
    }

    if (pos >= text.size()) [[unlikely]] return std::nullopt;
    std::int64_t offsetSeconds = 0;
    const char designator = text[pos];
    if (designator == 'Z') {
        ++pos;
    } else if (designator == '+' || designator == '-') {
        int offsetHours = 0, offsetMinutes = 0;
        if (!readDigits(text, pos + 1, 2, offsetHours)) return std::nullopt;
        pos += 3;
        if (pos < text.size() && text[pos] == ':') ++pos;
        if (!readDigits(text, pos, 2, offsetMinutes)) return std::nullopt;
        pos += 2;
        if (offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (designator == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) [[unlikely]] return std::nullopt;

    const std::int64_t seconds = daysFromFourDigitYear(year, month, day) * secondsPerDay +
                                 static_cast<std::int64_t>(hour * 3600 + minute * 60 + second) - offsetSeconds;
    return Date{composeSeconds(seconds, nanoseconds)};
}

std::string ISO8601DateFormatter::string(Date date) const {
    const double t = date.timeIntervalSince1970;
    if (!std::isfinite(t) || std::fabs(t) >= largestFormattableSeconds) return {};

    const auto seconds = static_cast<std::int64_t>(std::floor(t));
    std::int64_t days = seconds / secondsPerDay;
    std::int64_t secondOfDay = seconds % secondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += secondsPerDay;
        --days;
    }
    const CivilDate civil = civilFromDays(days);

    std::string text = civil.year < 0 ? fmt::format("-{:04}", -civil.year) : fmt::format("{:04}", civil.year);
    text += fmt::format("-{:02}-{:02}T{:02}:{:02}:{:02}", civil.month, civil.day, secondOfDay / 3600,
                        secondOfDay / 60 % 60, secondOfDay % 60);
    if (options_ == Options::withFractionalSeconds) {
        text += fmt::format(".{:03}", flooredMilliseconds(seconds, t));
    }
    text += 'Z';
    return text;
}

}  // namespace Platform

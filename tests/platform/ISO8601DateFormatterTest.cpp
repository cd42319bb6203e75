#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "Platform/time/ISO8601DateFormatter.h"

namespace {

using Platform::Date;
using Platform::ISO8601DateFormatter;

const ISO8601DateFormatter& plain = ISO8601DateFormatter::internetDateTime();
const ISO8601DateFormatter& fractional = ISO8601DateFormatter::withFractionalSeconds();

struct ParseCase {
    const ISO8601DateFormatter* formatter;
    std::string text;
    double seconds;
};

TEST(ISO8601DateFormatter, ParsesAcceptedTexts) {
    const ParseCase cases[] = {
        {&plain, "2024-05-01T09:30:00Z", 1714555800},
        {&plain, "2024-05-01T18:30:00+09:00", 1714555800},
        {&plain, "2024-05-01T04:00:00-05:30", 1714555800},
        {&plain, "2024-05-01T18:30:00+0900", 1714555800},
        {&plain, "2024-02-29T00:00:00Z", 1709164800},
        {&plain, "2000-02-29T12:00:00Z", 951825600},
        {&plain, "1969-12-31T23:59:59Z", -1},
        {&plain, "0000-01-01T00:00:00Z", -62167219200},
        {&plain, "9999-12-31T23:59:59Z", 253402300799},
        {&plain, "0000-01-01T00:00:00+23:59", -62167219200 - 86340},
        {&fractional, "2024-05-01T09:30:00.123Z", 1714555800.123},
        {&fractional, "2024-05-01T09:30:00.5+01:00", 1714552200.5},
        {&fractional, "2024-05-01T09:30:00.123456789123456Z", 1714555800.123456789},
        {&fractional, "1969-12-31T23:59:59.250Z", -0.75},
    };
    for (const auto& c : cases) {
        const auto date = c.formatter->date(c.text);
        ASSERT_TRUE(date.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(date->timeIntervalSince1970, c.seconds) << c.text;
    }
}

TEST(ISO8601DateFormatter, RejectsMalformedTexts) {
    const std::pair<const ISO8601DateFormatter*, std::string> cases[] = {
        {&plain, ""},
        {&plain, "2024-05-01 09:30:00Z"},
        {&plain, "2023-02-29T00:00:00Z"},
        {&plain, "1900-02-29T00:00:00Z"},
        {&plain, "2024-04-31T00:00:00Z"},
        {&plain, "2024-13-01T00:00:00Z"},
        {&plain, "2024-00-10T00:00:00Z"},
        {&plain, "2024-05-01T24:00:00Z"},
        {&plain, "2024-05-01T09:60:00Z"},
        {&plain, "2024-05-01T09:30:60Z"},
        {&plain, "2024-05-01T09:30:00"},
        {&plain, "2024-05-01T09:30:00.123Z"},
        {&plain, "2024-05-01T09:30:00Zjunk"},
        {&plain, "2024-05-01T09:30:00+24:00"},
        {&plain, "2024-05-01T09:30:00+09:60"},
        {&plain, "2024-05-01T09:30:00+9:00"},
        {&plain, "2024-05-01T09:30:00+09"},
        {&plain, "2024-05-01T09:30:00+09:0"},
        {&plain, "+2024-05-01T09:30:00Z"},
        {&plain, "24-05-01T09:30:00Z"},
        {&plain, std::string("2024-05-01T09:30:00\0Z", 21)},
        {&fractional, "2024-05-01T09:30:00Z"},
        {&fractional, "2024-05-01T09:30:00.Z"},
        {&fractional, "2024-05-01T09:30:00.12"},
        {&fractional, "2024-05-01T09:30:00,123Z"},
    };
    for (const auto& [formatter, text] : cases) {
        EXPECT_FALSE(formatter->date(text).has_value()) << text;
    }
}

TEST(ISO8601DateFormatter, FormatsUTCAndNeverRoundsUp) {
    const ParseCase cases[] = {
        {&fractional, "2024-05-01T09:30:00.123Z", 1714555800.123},
        {&plain, "2024-05-01T09:30:00Z", 1714555800.999},
        {&fractional, "1970-01-01T00:00:00.999Z", 0.9999999},
        {&fractional, "1969-12-31T23:59:59.999Z", -0.0005},
        {&fractional, "1969-12-31T23:59:58.500Z", -1.5},
        {&fractional, "4001-01-01T00:00:00.000Z", Date::distantFuture().timeIntervalSince1970},
        {&plain, "-0001-12-31T23:59:59Z", -62167219201},
        {&plain, "10000-01-01T00:00:00Z", 253402300800},
        {&fractional, "", NAN},
        {&plain, "", INFINITY},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.formatter->string(Date{c.seconds}), c.text) << c.seconds;
    }
}

// Far from 1970 a double resolves only tens of microseconds, where a naive
// fraction * 1000 drops to the millisecond below.
TEST(ISO8601DateFormatter, EveryMillisecondSurvivesARoundTrip) {
    for (const std::string base : {"1970-01-01T00:00:00", "9999-12-31T23:59:59", "0000-01-01T00:00:00"}) {
        for (int millis = 0; millis < 1000; ++millis) {
            const std::string text = base + '.' + std::to_string(1000 + millis).substr(1) + 'Z';
            const auto date = fractional.date(text);
            ASSERT_TRUE(date.has_value()) << text;
            ASSERT_EQ(fractional.string(*date), text);
        }
    }
}

// Dates land on exactly the double that whole seconds plus the fraction in nanoseconds
// divided by 1e9 give, whatever shortcut the parser takes for common fractions.
TEST(ISO8601DateFormatter, FractionsAreExact) {
    const struct {
        const char* fraction;
        std::int64_t nanoseconds;
    } fractions[] = {{"000", 0}, {"001", 1'000'000}, {"123", 123'000'000}, {"999", 999'000'000},
                     {"5", 500'000'000}, {"25", 250'000'000}, {"123000", 123'000'000}, {"1234", 123'400'000},
                     {"000000001", 1}, {"999999999", 999'999'999}, {"1234567891", 123'456'789}};
    for (const auto& [base, seconds] : {std::pair{"2024-05-01T09:30:00.", 1714555800LL},
                                        std::pair{"9999-12-31T23:59:59.", 253402300799LL},
                                        std::pair{"1969-12-31T23:59:59.", -1LL}}) {
        for (const auto& f : fractions) {
            const std::string text = std::string(base) + f.fraction + "Z";
            const auto date = fractional.date(text);
            ASSERT_TRUE(date.has_value()) << text;
            EXPECT_EQ(date->timeIntervalSince1970,
                      static_cast<double>(seconds) + static_cast<double>(f.nanoseconds) / 1e9)
                << text;
        }
    }
}

}  // namespace

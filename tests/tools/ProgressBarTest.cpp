#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tools/quillo/Output.h"
#include "tools/quillo/ProgressBar.h"

namespace QuilloCli {
namespace {

struct TextCase {
    const char* name;
    std::string got;
    std::string want;
};

TEST(ProgressFormat, SizesRatesAndDurations) {
    constexpr std::int64_t kibibyte = 1024;
    const TextCase cases[] = {
        {"bytes stay whole", humanSize(1023), "1023 B"},
        {"first unit step", humanSize(kibibyte), "1.0 KiB"},
        {"one decimal", humanSize(1536), "1.5 KiB"},
        {"rounding carries into the next unit", humanSize(kibibyte * kibibyte - 1), "1.0 MiB"},
        {"gibibytes", humanSize(5 * kibibyte * kibibyte * kibibyte), "5.0 GiB"},
        {"negative is no size", humanSize(-1), "-"},
        {"rate per second", formatRate(1536.4), "1.5 KiB/s"},
        {"unknown rate", formatRate(std::nullopt), "-"},
        {"rate not a number", formatRate(std::nan("")), "-"},
        {"duration rounds up", formatDuration(7.2), "0:08"},
        {"minutes", formatDuration(754), "12:34"},
        {"hours", formatDuration(3723), "1:02:03"},
        {"unknown duration", formatDuration(std::nullopt), "--:--"},
        {"endless duration", formatDuration(std::numeric_limits<double>::infinity()), "--:--"},
        {"ETA from rate", formatDuration(estimatedSecondsLeft({.done = 50, .total = 150, .rate = 10})), "0:10"},
        {"ETA without total", formatDuration(estimatedSecondsLeft({.done = 50, .rate = 10})), "--:--"},
        {"ETA without rate", formatDuration(estimatedSecondsLeft({.done = 50, .total = 150})), "--:--"},
        {"ETA past the total", formatDuration(estimatedSecondsLeft({.done = 200, .total = 150, .rate = 10})), "0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.got, c.want);
    }
}

TEST(ProgressFormat, Line) {
    constexpr std::size_t width = 80;
    const struct {
        const char* name;
        std::string label;
        ProgressState state;
        std::string want;
    } cases[] = {
        {"half way", "a.bin", {.done = 512 * 1024, .total = 1024 * 1024, .rate = 102400},
         "a.bin  [==========>            ]   50%  512.0 KiB/1.0 MiB  100.0 KiB/s  ETA 0:06"},
        {"size unknown", "a.bin", {.done = 2048},
         "a.bin  [                                          ]    ?%  2.0 KiB  -  ETA --:--"},
        {"done, no label", "", {.done = 10, .total = 10, .rate = 5},
         "[============================================]  100%  10 B/10 B  5 B/s  ETA 0:00"},
        {"long label shortened first", std::string(100, 'x'), {.done = 0, .total = 10},
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...  [          ]    0%  0 B/10 B  -  ETA --:--"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto line = formatProgressLine(c.label, c.state, width);
        EXPECT_EQ(line, c.want);
        EXPECT_LE(line.size(), width);
    }
}

}  // namespace
}  // namespace QuilloCli

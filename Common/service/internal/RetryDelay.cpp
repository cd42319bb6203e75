#include "Common/service/internal/RetryDelay.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <ctime>

namespace Common::detail {

namespace {

// IMF-fixdate only: the one form senders must use.
std::optional<double> httpDate(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT"
    if (text.size() != 29 || text[3] != ',' || text[4] != ' ' || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    constexpr std::array<std::string_view, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto month = std::find(months.begin(), months.end(), text.substr(8, 3));
    if (month == months.end()) return std::nullopt;
    auto number = [&](std::size_t at, std::size_t length) -> std::optional<int> {
        int value = 0;
        const auto* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        if (error != std::errc() || end != first + length) return std::nullopt;
        return value;
    };
    const auto day = number(5, 2), year = number(12, 4), hour = number(17, 2), minute = number(20, 2),
               second = number(23, 2);
    if (!day || !year || !hour || !minute || !second || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 ||
        *second > 60) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = *year - 1900;
    tm.tm_mon = static_cast<int>(month - months.begin());
    tm.tm_mday = *day;
    tm.tm_hour = *hour;
    tm.tm_min = *minute;
    tm.tm_sec = *second;
    return static_cast<double>(::timegm(&tm));
}

}  // namespace

std::optional<double> retryAfterSeconds(std::string_view value, Platform::Date now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || value.size() > 64) return std::nullopt;
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Digits past what a double holds exactly still mean "long"; the caller caps them.
        return value.size() > 15 ? 1e15 : static_cast<double>(std::stoll(std::string(value)));
    }
    const auto date = httpDate(value);
    if (!date) return std::nullopt;
    return std::max(0.0, *date - now.timeIntervalSince1970);
}

double retryDelay(const UploadRetryPolicy& policy, int retry, std::optional<double> retryAfter, double random) {
    if (retryAfter) return std::clamp(*retryAfter, 0.0, std::max(0.0, policy.maximumRetryAfter));
    const double ceiling =
        std::min(std::max(0.0, policy.maximumDelay), policy.initialDelay * std::ldexp(1.0, std::clamp(retry, 1, 62) - 1));
    return std::max(0.0, ceiling) * std::clamp(random, 0.0, 1.0);
}

}  // namespace Common::detail

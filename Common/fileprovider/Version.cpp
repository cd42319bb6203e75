#include "Common/fileprovider/Version.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "Platform/json/JSONDecoder.h"

namespace Common {

namespace {

std::int64_t wholeSeconds(const std::optional<Platform::Date>& date) noexcept {
    if (!date) return 0;
    const double seconds = std::trunc(date->timeIntervalSince1970);
    if (std::isnan(seconds)) return 0;
    // 2^63 is the first double past the range; casting beyond it is undefined.
    if (seconds >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (seconds < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(seconds);
}

}  // namespace

Version Version::fromDates(std::optional<Platform::Date> contentDate,
                           std::optional<Platform::Date> metadataDate) noexcept {
    return {wholeSeconds(contentDate), wholeSeconds(metadataDate)};
}

Platform::Data Version::encoded() const {
    return nlohmann::json{{"content", content}, {"metadata", metadata}}.dump();
}

Version Version::decoded(std::string_view json) { return Platform::JSONDecoder{}.decode<Version>(json); }

Version Version::decode(const Platform::KeyedDecoder& c) {
    return {
        .content = c.decode<std::int64_t>("content"),
        .metadata = c.decode<std::int64_t>("metadata"),
    };
}

}  // namespace Common

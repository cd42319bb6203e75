#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "Platform/core/Export.h"

namespace Platform {

// One value for a log placeholder. Text is viewed, not copied: it only has to
// outlive the logging call. Objects logged through their description() own it.
using LogArgument = std::variant<std::string_view, std::string, std::int64_t, std::uint64_t, double>;

template <class T>
LogArgument makeLogArgument(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return std::int64_t{value ? 1 : 0};
    } else if constexpr (std::is_pointer_v<T> && std::is_convertible_v<T, const char*>) {
        return value ? std::string_view(value) : std::string_view("(null)");
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string_view(value);
    } else if constexpr (std::is_enum_v<T>) {
        return makeLogArgument(static_cast<std::underlying_type_t<T>>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        return static_cast<std::int64_t>(value);
    } else if constexpr (std::is_integral_v<T>) {
        return static_cast<std::uint64_t>(value);
    } else if constexpr (std::is_floating_point_v<T>) {
        return static_cast<double>(value);
    } else if constexpr (requires { { value.description() } -> std::convertible_to<std::string>; }) {
        return std::string(value.description());
    } else {
        static_assert(!sizeof(T), "log arguments are text, numbers, or types with description()");
    }
}

// Where one argument marked private lies in a composed message.
struct LogTextRange {
    std::size_t offset = 0;
    std::size_t length = 0;
    bool operator==(const LogTextRange&) const = default;
};

// A message with its arguments filled in, and the places of the private ones.
struct ComposedLogMessage {
    std::string text;
    std::vector<LogTextRange> privateRanges;  // in order, never overlapping
};

// Fills the log texts' placeholders in order: "%{public}s", "%{private}d",
// "%{iec-bytes,public}ld", plain "%s %d %ld %lld %u %lu %f %@", with optional
// '-'/'0' flags, width and precision, and "%%". "iec-bytes" writes "N bytes"
// below 1 KiB, otherwise one decimal in KiB, MiB, GiB or TiB. The format text is
// never handed to printf. A placeholder without an argument reads "<missing>",
// surplus arguments are ignored, and any other '%' sequence is copied as written.
//
// Privacy: a value is private when its placeholder says "private" (or "sensitive"),
// and, without "public", when it is text or an object ("%s", "%@") - numbers are
// public unless marked. Private wins over public. The value is always in `text`;
// `privateRanges` says where, so sinks outside the process can redact it.
[[nodiscard]] QUILLO_EXPORT ComposedLogMessage composeLogMessageMarkingPrivate(std::string_view format,
                                                                 std::span<const LogArgument> arguments);

// The composed text alone.
QUILLO_EXPORT std::string composeLogMessage(std::string_view format, std::span<const LogArgument> arguments);

// `message` with each private range written as "<private>". Ranges are clipped to the
// message; one that runs into the range before it is merged with it.
[[nodiscard]] QUILLO_EXPORT std::string redactedLogMessage(std::string_view message, std::span<const LogTextRange> privateRanges);

}  // namespace Platform

#include "Platform/log/LogMessage.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>

namespace Platform {

namespace {

enum class Privacy { unmarked, markedPublic, markedPrivate };

struct Placeholder {
    bool iecBytes = false;
    Privacy privacy = Privacy::unmarked;
    bool leftAlign = false;
    bool zeroPad = false;
    std::size_t width = 0;
    std::optional<std::size_t> precision;
    char conversion = 's';
    std::size_t length = 0;  // characters taken from the format, '%' included
};

constexpr std::size_t longestModifierList = 64;
// Three digits at most, so a hostile "%999999999d" cannot demand a huge buffer.
constexpr std::size_t longestNumber = 3;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// `text` starts at a '%'. nullopt when what follows is not a placeholder we fill.
std::optional<Placeholder> parsePlaceholder(std::string_view text) {
    Placeholder placeholder;
    std::size_t pos = 1;
    const auto at = [&](std::size_t index) { return index < text.size() ? text[index] : '\0'; };

    if (at(pos) == '{') {
        const std::size_t close = text.find('}', pos);
        if (close == std::string_view::npos || close - pos > longestModifierList) return std::nullopt;
        std::string_view modifiers = text.substr(pos + 1, close - pos - 1);
        for (;;) {
            const std::size_t comma = modifiers.find(',');
            const auto modifier = trimmed(modifiers.substr(0, comma));
            if (modifier == "iec-bytes") {
                placeholder.iecBytes = true;
            } else if (modifier == "private" || modifier == "sensitive") {
                placeholder.privacy = Privacy::markedPrivate;
            } else if (modifier == "public" && placeholder.privacy == Privacy::unmarked) {
                placeholder.privacy = Privacy::markedPublic;
            }
            if (comma == std::string_view::npos) break;
            modifiers.remove_prefix(comma + 1);
        }
        pos = close + 1;
    }
    for (; at(pos) == '-' || at(pos) == '0'; ++pos) {
        if (at(pos) == '-') {
            placeholder.leftAlign = true;
        } else {
            placeholder.zeroPad = true;
        }
    }
    const auto readNumber = [&](std::size_t& out) {
        std::size_t digits = 0;
        for (out = 0; isDigit(at(pos)); ++pos, ++digits) {
            if (digits == longestNumber) return false;
            out = out * 10 + static_cast<std::size_t>(at(pos) - '0');
        }
        return true;
    };
    if (!readNumber(placeholder.width)) return std::nullopt;
    if (at(pos) == '.') {
        ++pos;
        std::size_t precision = 0;
        if (!readNumber(precision)) return std::nullopt;
        placeholder.precision = precision;
    }
    static constexpr std::string_view lengthModifiers = "hlqzjtL";
    for (int count = 0; count < 2 && lengthModifiers.find(at(pos)) != std::string_view::npos; ++count) ++pos;

    static constexpr std::string_view conversions = "sdiuf@";
    const char conversion = at(pos);
    if (conversion == '\0' || conversions.find(conversion) == std::string_view::npos) return std::nullopt;
    placeholder.conversion = conversion;
    placeholder.length = pos + 1;
    return placeholder;
}

// value with `precision` decimals, as fmt's "{:.Nf}" writes it. The standard library's
// to_chars gives the same correctly rounded text at a fraction of the cost; fmt stays for
// what does not fit the buffer and for infinities and NaN.
void appendFixed(std::string& out, double value, std::size_t precision) {
    char buffer[512];
    if (std::isfinite(value)) {
        const auto [end, error] =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, static_cast<int>(precision));
        if (error == std::errc()) {
            out.append(buffer, end);
            return;
        }
    }
    fmt::format_to(std::back_inserter(out), "{:.{}f}", value, precision);
}

std::string scaledIECBytes(double bytes) {
    static constexpr std::array<std::string_view, 4> units = {"KiB", "MiB", "GiB", "TiB"};
    double value = bytes / 1024;
    std::size_t unit = 0;
    while (std::fabs(value) >= 1024 && unit + 1 < units.size()) {
        value /= 1024;
        ++unit;
    }
    std::string text;
    appendFixed(text, value, 1);
    text += ' ';
    text += units[unit];
    return text;
}

std::string iecBytes(const LogArgument& argument) {
    if (const auto* value = std::get_if<std::int64_t>(&argument)) {
        return *value > -1024 && *value < 1024 ? fmt::format("{} bytes", *value)
                                               : scaledIECBytes(static_cast<double>(*value));
    }
    if (const auto* value = std::get_if<std::uint64_t>(&argument)) {
        return *value < 1024 ? fmt::format("{} bytes", *value) : scaledIECBytes(static_cast<double>(*value));
    }
    const double value = std::get<double>(argument);
    return std::fabs(value) < 1024 || !std::isfinite(value) ? fmt::format("{} bytes", value) : scaledIECBytes(value);
}

double asDouble(const LogArgument& argument) {
    if (const auto* value = std::get_if<std::int64_t>(&argument)) return static_cast<double>(*value);
    if (const auto* value = std::get_if<std::uint64_t>(&argument)) return static_cast<double>(*value);
    return std::get<double>(argument);
}

std::string rendered(const Placeholder& placeholder, const LogArgument& argument) {
    std::string text;
    bool numeric = false;
    if (const auto* view = std::get_if<std::string_view>(&argument)) {
        text = *view;
    } else if (const auto* owned = std::get_if<std::string>(&argument)) {
        text = *owned;
    } else {
        numeric = true;
        if (placeholder.iecBytes) {
            text = iecBytes(argument);
        } else if (placeholder.conversion == 'f') {
            appendFixed(text, asDouble(argument), placeholder.precision.value_or(6));
        } else {
            std::visit([&](auto value) { text = fmt::format("{}", value); }, argument);
        }
    }
    // As in printf, a precision cuts text short.
    if (!numeric && placeholder.precision && text.size() > *placeholder.precision) {
        text.resize(*placeholder.precision);
    }
    if (text.size() < placeholder.width) {
        const std::size_t padding = placeholder.width - text.size();
        if (placeholder.leftAlign) {
            text.append(padding, ' ');
        } else if (placeholder.zeroPad && numeric) {
            const std::size_t afterSign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
            text.insert(afterSign, padding, '0');
        } else {
            text.insert(0, padding, ' ');
        }
    }
    return text;
}

bool isPrivate(const Placeholder& placeholder, const LogArgument& argument) {
    switch (placeholder.privacy) {
        case Privacy::markedPrivate: return true;
        case Privacy::markedPublic: return false;
        case Privacy::unmarked: break;
    }
    // As in the unified log: dynamic text and objects stay private unless marked public.
    const bool isText = std::holds_alternative<std::string_view>(argument) || std::holds_alternative<std::string>(argument);
    return isText || placeholder.conversion == 's' || placeholder.conversion == '@';
}

constexpr std::string_view privateMark = "<private>";

// Room for the message with its arguments, so it is allocated once.
std::size_t expectedLength(std::string_view format, std::span<const LogArgument> arguments) {
    std::size_t length = format.size();
    for (const auto& argument : arguments) {
        if (const auto* view = std::get_if<std::string_view>(&argument)) {
            length += view->size();
        } else if (const auto* owned = std::get_if<std::string>(&argument)) {
            length += owned->size();
        } else {
            length += 24;
        }
    }
    return length;
}

// Writes the argument straight into `message` when it needs no padding or cutting, the
// usual case; false leaves it to `rendered`.
bool appendPlain(std::string& message, const Placeholder& placeholder, const LogArgument& argument) {
    if (placeholder.width != 0 || placeholder.iecBytes) return false;
    if (const auto* view = std::get_if<std::string_view>(&argument)) {
        if (placeholder.precision) return false;
        message.append(*view);
    } else if (const auto* owned = std::get_if<std::string>(&argument)) {
        if (placeholder.precision) return false;
        message.append(*owned);
    } else if (placeholder.conversion == 'f') {
        appendFixed(message, asDouble(argument), placeholder.precision.value_or(6));
    } else {
        std::visit([&](auto value) { fmt::format_to(std::back_inserter(message), "{}", value); }, argument);
    }
    return true;
}

}  // namespace

ComposedLogMessage composeLogMessageMarkingPrivate(std::string_view format, std::span<const LogArgument> arguments) {
    ComposedLogMessage composed;
    std::string& message = composed.text;
    message.reserve(expectedLength(format, arguments));
    std::size_t nextArgument = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            message.append(format.substr(pos));
            break;
        }
        message.append(format.substr(pos, percent - pos));
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            message += '%';
            pos = percent + 2;
            continue;
        }
        const auto placeholder = parsePlaceholder(format.substr(percent));
        if (!placeholder) {
            message += '%';
            pos = percent + 1;
            continue;
        }
        if (nextArgument < arguments.size()) {
            const auto& argument = arguments[nextArgument];
            const std::size_t offset = message.size();
            if (!appendPlain(message, *placeholder, argument)) message += rendered(*placeholder, argument);
            if (isPrivate(*placeholder, argument)) composed.privateRanges.push_back({offset, message.size() - offset});
        } else {
            message += "<missing>";
        }
        ++nextArgument;
        pos = percent + placeholder->length;
    }
    return composed;
}

std::string composeLogMessage(std::string_view format, std::span<const LogArgument> arguments) {
    return composeLogMessageMarkingPrivate(format, arguments).text;
}

std::string redactedLogMessage(std::string_view message, std::span<const LogTextRange> privateRanges) {
    std::string redacted;
    redacted.reserve(message.size());
    std::size_t shown = 0;  // everything before this is written or redacted
    for (const auto& range : privateRanges) {
        const std::size_t start = std::min(range.offset, message.size());
        const std::size_t end = start + std::min(range.length, message.size() - start);
        if (start >= shown) {
            redacted.append(message.substr(shown, start - shown));
            redacted += privateMark;
            shown = end;
        } else {
            shown = std::max(shown, end);  // overlaps the range before: one mark for both
        }
    }
    redacted.append(message.substr(shown));
    return redacted;
}

}  // namespace Platform

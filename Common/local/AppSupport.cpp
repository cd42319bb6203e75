#include "Common/local/AppSupport.h"

#include <clocale>
#include <cmath>
#include <ctime>
#include <locale.h>

#include "Platform/time/ISO8601DateFormatter.h"

namespace Common {

namespace {

std::string infoValue(const std::optional<Platform::Bundle>& bundle, const char* key, const char* fallback) {
    if (!bundle) return fallback;
    auto value = bundle->objectForInfoDictionaryKey(key);
    return value ? std::move(*value) : fallback;
}

}  // namespace

std::string identifier(const std::optional<Platform::Bundle>& bundle) {
    if (!bundle || bundle->bundleIdentifier.empty()) return "(unknown bundle identifier)";
    return bundle->bundleIdentifier;
}

std::string appName(const std::optional<Platform::Bundle>& bundle) {
    return infoValue(bundle, "CFBundleName", "(unknown app name)");
}

std::string version(const std::optional<Platform::Bundle>& bundle) {
    return infoValue(bundle, "CFBundleShortVersionString", "(unknown app version)");
}

std::string build(const std::optional<Platform::Bundle>& bundle) {
    return infoValue(bundle, "CFBundleVersion", "(unknown build number)");
}

std::string ISO8601String(Platform::Date date) {
    return Platform::ISO8601DateFormatter(Platform::ISO8601DateFormatter::Options::withFractionalSeconds).string(date);
}

std::string mediumString(Platform::Date date) {
    if (!std::isfinite(date.timeIntervalSince1970)) return {};
    const auto seconds = static_cast<std::time_t>(std::floor(date.timeIntervalSince1970));
    std::tm parts{};
    if (!::localtime_r(&seconds, &parts)) return {};
    // The user's locale for this call only: setlocale would change it for every thread.
    locale_t locale = ::newlocale(LC_TIME_MASK, "", nullptr);
    if (!locale) locale = ::newlocale(LC_TIME_MASK, "C", nullptr);
    char text[128];
    const std::size_t length = locale ? ::strftime_l(text, sizeof text, "%e %b %Y %X", &parts, locale) : 0;
    if (locale) ::freelocale(locale);
    std::string out(text, length);
    return out.starts_with(' ') ? out.substr(1) : out;
}

std::string_view title(Platform::LogLevel level) noexcept {
    switch (level) {
        case Platform::LogLevel::debug: return "DEBUG";
        case Platform::LogLevel::info: return "INFO";
        case Platform::LogLevel::notice: return "NOTICE";
        case Platform::LogLevel::error: return "ERROR";
        case Platform::LogLevel::fault: return "FAULT";
    }
    return "UNDEFINED";
}

}  // namespace Common

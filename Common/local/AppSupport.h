#pragma once

// What the application and the extension share about themselves: bundle information,
// date texts and log-level titles.
//
//   Platform::Bundle::setMain(Platform::Bundle{"com.example.app", {{"CFBundleName", "App"}}});
//   logger.notice("%{public}s %{public}s", Common::appName().c_str(), Common::version().c_str());

#include <optional>
#include <string>
#include <string_view>

#include "Platform/bundle/Bundle.h"
#include "Platform/core/Export.h"
#include "Platform/log/LogLevel.h"
#include "Platform/time/Date.h"

namespace Common {

// Each falls back to its "(unknown ...)" text when the bundle or the value is missing.
// The bundle defaults to the main bundle.
[[nodiscard]] QUILLO_EXPORT std::string identifier(const std::optional<Platform::Bundle>& bundle = Platform::Bundle::main());
[[nodiscard]] QUILLO_EXPORT std::string appName(const std::optional<Platform::Bundle>& bundle = Platform::Bundle::main());
[[nodiscard]] QUILLO_EXPORT std::string version(const std::optional<Platform::Bundle>& bundle = Platform::Bundle::main());
[[nodiscard]] QUILLO_EXPORT std::string build(const std::optional<Platform::Bundle>& bundle = Platform::Bundle::main());

// "2024-05-01T09:30:00.250Z": UTC with milliseconds.
[[nodiscard]] QUILLO_EXPORT std::string ISO8601String(Platform::Date date);
// Date and time in the user's locale, medium length; for display only.
[[nodiscard]] QUILLO_EXPORT std::string mediumString(Platform::Date date);

// "DEBUG", "INFO", "NOTICE", "ERROR", "FAULT"; "UNDEFINED" for anything else. Call it
// qualified: Platform::title gives the store's own mixed-case titles.
[[nodiscard]] QUILLO_EXPORT std::string_view title(Platform::LogLevel level) noexcept;

}  // namespace Common

#pragma once

// Writing the process's own log to a file for support:
//
//   const auto target = folder / Common::exportLogFilename;
//   Common::exportOSLog(target);  // throws Platform::FileError when it cannot be written

#include <filesystem>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"
#include "Platform/log/LogEntry.h"
#include "Platform/url/URL.h"

namespace Common {

inline constexpr std::string_view exportLogFilename = "export.log";

// "[2024-05-01T09:30:00.250Z] [Connection] [ERROR] message", private values as
// "<private>".
[[nodiscard]] QUILLO_EXPORT std::string exportLogLine(const Platform::LogEntry& entry);

// Writes this process's entries of the main bundle's subsystem since boot, oldest first,
// one line each, joined by line feeds, replacing the file atomically: a failed write
// throws Platform::FileError and leaves the old file as it was. No entries: an empty file.
QUILLO_EXPORT void exportOSLog(const std::filesystem::path& to);
// The same for a file URL; another URL throws Platform::FileError.
QUILLO_EXPORT void exportOSLog(const Platform::URL& to);

}  // namespace Common

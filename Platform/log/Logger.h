#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"
#include "Platform/log/LogLevel.h"
#include "Platform/log/LogMessage.h"

namespace Platform {

namespace detail {
struct LogSource;
}

// Writes entries to LogStore::shared(). Formats use the log texts' placeholders
// described at composeLogMessage. Logging never throws: a failure loses the entry.
class QUILLO_EXPORT Logger {
public:
    Logger(std::string subsystem, std::string category);

    // The main bundle's identifier, or "(unknown bundle identifier)" without one.
    static std::string defaultSubsystem();

    const std::string& subsystem() const noexcept;
    const std::string& category() const noexcept;

    template <class... Args>
    void debug(std::string_view format, const Args&... args) const noexcept {
        log(LogLevel::debug, format, args...);
    }
    template <class... Args>
    void info(std::string_view format, const Args&... args) const noexcept {
        log(LogLevel::info, format, args...);
    }
    template <class... Args>
    void notice(std::string_view format, const Args&... args) const noexcept {
        log(LogLevel::notice, format, args...);
    }
    template <class... Args>
    void error(std::string_view format, const Args&... args) const noexcept {
        log(LogLevel::error, format, args...);
    }
    template <class... Args>
    void fault(std::string_view format, const Args&... args) const noexcept {
        log(LogLevel::fault, format, args...);
    }

    template <class... Args>
    void log(LogLevel level, std::string_view format, const Args&... args) const noexcept {
        try {
            const std::array<LogArgument, sizeof...(Args)> arguments{makeLogArgument(args)...};
            write(level, format, arguments);
        } catch (...) {
            // Nowhere left to report it.
        }
    }

private:
    void write(LogLevel level, std::string_view format, std::span<const LogArgument> arguments) const noexcept;

    // Shared with every entry and copy of this logger: a copy costs no string copies.
    std::shared_ptr<const detail::LogSource> source_;
};

}  // namespace Platform

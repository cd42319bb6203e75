#pragma once

#include <string_view>

namespace Platform {

enum class LogLevel { debug, info, notice, error, fault };

// "Debug", "Info", "Notice", "Error" or "Fault".
constexpr std::string_view title(LogLevel level) noexcept {
    switch (level) {
        case LogLevel::debug: return "Debug";
        case LogLevel::info: return "Info";
        case LogLevel::notice: return "Notice";
        case LogLevel::error: return "Error";
        case LogLevel::fault: return "Fault";
    }
    return "Unknown";
}

}  // namespace Platform

#pragma once

#include <string>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/log/LogLevel.h"
#include "Platform/log/LogMessage.h"
#include "Platform/time/Date.h"

namespace Platform {

struct QUILLO_EXPORT LogEntry {
    Date date;
    int processIdentifier = 0;
    std::string process;
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::info;
    // With every value in clear: for this process only.
    std::string composedMessage;
    // Where the values marked private lie in composedMessage.
    std::vector<LogTextRange> privateRanges;

    // The message as anything outside the process sees it (stderr, journal, exported
    // logs): private values read "<private>".
    [[nodiscard]] std::string redactedMessage() const { return redactedLogMessage(composedMessage, privateRanges); }
};

}  // namespace Platform

#pragma once

#include <string>

#include "Platform/core/Export.h"
#include "Platform/log/LogLevel.h"
#include "Platform/time/Date.h"

namespace Platform {

struct QUILLO_EXPORT LogEntry {
    Date date;
    int processIdentifier = 0;
    std::string process;
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::info;
    std::string composedMessage;
};

}  // namespace Platform

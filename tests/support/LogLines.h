#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Platform/log/LogStore.h"

namespace TestSupport {

// Which lines of the shared log store to take.
struct LogFilter {
    std::string category;                    // empty: every category
    std::optional<Platform::LogLevel> level; // none: every level
    std::string containing;                  // empty: every message
    std::optional<Platform::Date> since;
};

// The composed messages of the shared store's lines that pass `filter`, oldest first.
inline std::vector<std::string> logLines(const LogFilter& filter) {
    std::vector<std::string> lines;
    for (const auto& entry : Platform::LogStore::shared().entries(filter.since)) {
        if ((filter.category.empty() || entry.category == filter.category) && (!filter.level || entry.level == *filter.level) &&
            entry.composedMessage.find(filter.containing) != std::string::npos) {
            lines.push_back(entry.composedMessage);
        }
    }
    return lines;
}

}  // namespace TestSupport

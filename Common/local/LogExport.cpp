#include "Common/local/LogExport.h"

#include <unistd.h>

#include <fstream>
#include <optional>

#include "Common/local/AppSupport.h"
#include "Platform/files/AtomicFile.h"
#include "Platform/files/FileError.h"
#include "Platform/files/FileURL.h"
#include "Platform/log/LogStore.h"

namespace Common {

namespace {

// Seconds since 1970 of the machine's latest boot, from the kernel; none when unknown.
std::optional<double> bootTime() {
    std::ifstream stat("/proc/stat");
    std::string key;
    while (stat >> key) {
        if (key == "btime") {
            long long seconds = 0;
            if (stat >> seconds) return static_cast<double>(seconds);
            return std::nullopt;
        }
        stat.ignore(4096, '\n');
    }
    return std::nullopt;
}

}  // namespace

std::string exportLogLine(const Platform::LogEntry& entry) {
    std::string line;
    line.reserve(entry.composedMessage.size() + entry.category.size() + 48);
    line += '[';
    line += ISO8601String(entry.date);
    line += "] [";
    line += entry.category;
    line += "] [";
    line += Common::title(entry.level);
    line += "] ";
    line += entry.redactedMessage();
    return line;
}

void exportOSLog(const std::filesystem::path& to) {
    std::optional<Platform::Date> since;
    if (const auto boot = bootTime()) since = Platform::Date{*boot + 1};
    const auto subsystem = identifier();
    const int process = ::getpid();

    std::string text;
    bool first = true;
    for (const auto& entry : Platform::LogStore::shared().entries(since)) {
        // A forked child inherits its parent's entries; they are not its own.
        if (entry.subsystem != subsystem || entry.processIdentifier != process) continue;
        if (!first) text += '\n';
        first = false;
        text += exportLogLine(entry);
    }
    Platform::writeFileAtomically(to, text);
}

void exportOSLog(const Platform::URL& to) {
    const auto path = Platform::filePath(to);
    if (!path) throw Platform::FileError(Platform::FileError::Code::fileReadUnsupportedScheme, {{"url", to.absoluteString()}});
    exportOSLog(*path);
}

}  // namespace Common

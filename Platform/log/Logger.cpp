#include "Platform/log/Logger.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Platform/bundle/Bundle.h"
#include "Platform/log/LogStore.h"
#include "Platform/time/Clock.h"

namespace Platform {

namespace {

std::string readProcessName() {
    std::string name;
    if (std::FILE* file = std::fopen("/proc/self/comm", "re")) {
        char buffer[64] = {};
        if (std::fgets(buffer, sizeof buffer, file) != nullptr) {
            name = buffer;
            if (!name.empty() && name.back() == '\n') name.pop_back();
        }
        std::fclose(file);
    }
    if (name.empty() && program_invocation_short_name != nullptr) name = program_invocation_short_name;
    return name;
}

const std::string& processName() {
    static const std::string name = readProcessName();
    return name;
}

// Asking the kernel on every entry cost a system call each; the identifier changes only
// in the child of a fork, which refreshes it.
std::atomic<int> cachedProcessIdentifier{0};

void refreshProcessIdentifier() noexcept { cachedProcessIdentifier.store(static_cast<int>(::getpid())); }

int processIdentifier() noexcept {
    static const bool registered = [] {
        refreshProcessIdentifier();
        ::pthread_atfork(nullptr, nullptr, &refreshProcessIdentifier);
        return true;
    }();
    (void)registered;
    return cachedProcessIdentifier.load(std::memory_order_relaxed);
}

}  // namespace

std::string Logger::defaultSubsystem() {
    const auto bundle = Bundle::main();
    if (!bundle || bundle->bundleIdentifier.empty()) return "(unknown bundle identifier)";
    return bundle->bundleIdentifier;
}

void Logger::write(LogLevel level, std::string_view format, std::span<const LogArgument> arguments) const noexcept {
    try {
        auto message = composeLogMessageMarkingPrivate(format, arguments);
        LogStore::shared().append(LogEntry{
            .date = Clock::now(),
            .processIdentifier = processIdentifier(),
            .process = processName(),
            .subsystem = subsystem_,
            .category = category_,
            .level = level,
            .composedMessage = std::move(message.text),
            .privateRanges = std::move(message.privateRanges),
        });
    } catch (...) {
        // Logging must not disturb the caller; the entry is lost.
    }
}

}  // namespace Platform

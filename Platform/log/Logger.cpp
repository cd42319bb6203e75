#include "Platform/log/Logger.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Platform/bundle/Bundle.h"
#include "Platform/log/LogStore.h"
#include "Platform/log/internal/LogSource.h"
#include "Platform/time/Clock.h"

namespace Platform {

namespace {

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

Logger::Logger(std::string subsystem, std::string category)
    : source_(detail::logSource(detail::logProcessName(), subsystem, category)) {}

const std::string& Logger::subsystem() const noexcept { return source_->subsystem; }

const std::string& Logger::category() const noexcept { return source_->category; }

void Logger::write(LogLevel level, std::string_view format, std::span<const LogArgument> arguments) const noexcept {
    try {
        auto message = composeLogMessageMarkingPrivate(format, arguments);
        LogStore::shared().append(
            LogStore::Stored(Clock::now(), source_, processIdentifier(), level, message.text, message.privateRanges));
    } catch (...) {
        // Logging must not disturb the caller; the entry is lost.
    }
}

}  // namespace Platform

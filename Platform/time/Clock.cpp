#include "Platform/time/Clock.h"

#include <atomic>

#include "Platform/time/internal/ClockOverride.h"

namespace Platform {

namespace {

// Read on every log entry: the real path costs one load.
std::atomic<bool> fixed{false};
std::atomic<double> fixedSeconds{0};

}  // namespace

Date Clock::now() noexcept {
    if (fixed.load(std::memory_order_acquire)) return Date{fixedSeconds.load(std::memory_order_relaxed)};
    using namespace std::chrono;
    return Date{duration<double>(system_clock::now().time_since_epoch()).count()};
}

namespace detail {

void setClockOverride(std::optional<Date> date) noexcept {
    if (date) {
        fixedSeconds.store(date->timeIntervalSince1970, std::memory_order_relaxed);
        fixed.store(true, std::memory_order_release);
    } else {
        fixed.store(false, std::memory_order_release);
    }
}

}  // namespace detail

}  // namespace Platform

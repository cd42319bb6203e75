#pragma once

#include "Platform/time/Clock.h"
#include "Platform/time/internal/ClockOverride.h"

namespace Platform::testing {

// Fixes Platform::Clock::now() for the scope: every reader in the library sees `date`
// until the clock is fixed again or the scope ends.
class ScopedFixedClock {
public:
    explicit ScopedFixedClock(Date date) noexcept { set(date); }
    ~ScopedFixedClock() { detail::setClockOverride(std::nullopt); }
    ScopedFixedClock(const ScopedFixedClock&) = delete;
    ScopedFixedClock& operator=(const ScopedFixedClock&) = delete;

    void set(Date date) noexcept { detail::setClockOverride(date); }
    void advance(double seconds) noexcept { set(Clock::now().addingTimeInterval(seconds)); }
};

}  // namespace Platform::testing

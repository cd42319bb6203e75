#pragma once

#include <chrono>

#include "Platform/time/Date.h"

namespace Platform {

// The one clock the library reads. `now()` is the wall clock as a Date (expiry, log
// dates, modification dates); `steadyNow()` is for intervals and deadlines, which must
// not jump with the wall clock. Tests can fix the wall clock (tests/support/FixedClock.h)
// so time boundaries are checked exactly; nothing else may.
class Clock {
public:
    using SteadyTimePoint = std::chrono::steady_clock::time_point;

    Clock() = delete;

    static Date now() noexcept;
    static SteadyTimePoint steadyNow() noexcept { return std::chrono::steady_clock::now(); }
};

}  // namespace Platform

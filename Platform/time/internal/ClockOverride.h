#pragma once

// For tests only: fixes what Platform::Clock::now() answers. Not part of the library's
// interface; tests use Platform::testing::ScopedFixedClock instead of calling this.

#include <optional>

#include "Platform/time/Date.h"

namespace Platform::detail {

// nullopt goes back to the real wall clock.
void setClockOverride(std::optional<Date> date) noexcept;

}  // namespace Platform::detail

#pragma once

#include <compare>

#include "Platform/core/Export.h"

namespace Platform {

// A point in time as seconds since 1970-01-01T00:00:00Z.
struct QUILLO_EXPORT Date {
    double timeIntervalSince1970 = 0;

    // Platform::Clock::now(): kept so every reader goes through the one clock.
    static Date now();
    // 4001-01-01T00:00:00Z, used where a date must exist but never arrives.
    static Date distantFuture();

    Date addingTimeInterval(double seconds) const { return Date{timeIntervalSince1970 + seconds}; }
    // Seconds from `other` to this date; negative when this date is earlier.
    double timeIntervalSince(Date other) const { return timeIntervalSince1970 - other.timeIntervalSince1970; }

    auto operator<=>(const Date&) const = default;
    bool operator==(const Date&) const = default;
};

}  // namespace Platform

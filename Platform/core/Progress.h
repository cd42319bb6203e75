#pragma once

#include <atomic>
#include <cstdint>

#include "Platform/core/Export.h"

namespace Platform {

// Progress of a unit of work, as callers may observe it. The API calls hand back one
// that they never update.
class QUILLO_EXPORT Progress {
public:
    std::int64_t totalUnitCount() const noexcept { return total_.load(); }
    std::int64_t completedUnitCount() const noexcept { return completed_.load(); }
    void setTotalUnitCount(std::int64_t count) noexcept { total_.store(count); }
    void setCompletedUnitCount(std::int64_t count) noexcept { completed_.store(count); }

private:
    std::atomic<std::int64_t> total_{0};
    std::atomic<std::int64_t> completed_{0};
};

}  // namespace Platform

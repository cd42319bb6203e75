#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "Platform/core/Export.h"

namespace Platform {

// Progress of a unit of work as callers observe it, and their way to cancel it. A
// transfer counts bytes sent and received; its total is known once the sizes are.
//
//   auto progress = session.dataTask(request, completion);
//   ...
//   progress->cancel();  // the completion reports URLError::Code::cancelled, once
//
// Thread-safe. The counts are written by the one party doing the work.
class QUILLO_EXPORT Progress {
public:
    Progress() = default;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    std::int64_t totalUnitCount() const noexcept { return total_.load(std::memory_order_relaxed); }
    std::int64_t completedUnitCount() const noexcept { return completed_.load(std::memory_order_relaxed); }
    void setTotalUnitCount(std::int64_t count) noexcept { total_.store(count, std::memory_order_relaxed); }
    void setCompletedUnitCount(std::int64_t count) noexcept { completed_.store(count, std::memory_order_relaxed); }

    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
    // The work ended (whatever its outcome); cancelling no longer does anything.
    bool isFinished() const noexcept { return finished_.load(std::memory_order_acquire); }

    // Asks the work to stop. Does nothing once it finished or when asked before.
    void cancel() {
        std::lock_guard lock(mutex_);
        if (finished_.load(std::memory_order_relaxed) || cancelled_.load(std::memory_order_relaxed)) return;
        cancelled_.store(true, std::memory_order_release);
        // Under the lock: `finish` waits for a handler under way, so whatever the handler
        // points to outlives its run.
        if (cancellationHandler_) cancellationHandler_();
    }

    // For the party doing the work: called on `cancel`, at once when already cancelled.
    // Must be quick and must not call back into this progress.
    void setCancellationHandler(std::function<void()> handler) {
        std::lock_guard lock(mutex_);
        if (finished_.load(std::memory_order_relaxed)) return;
        cancellationHandler_ = std::move(handler);
        if (cancelled_.load(std::memory_order_relaxed) && cancellationHandler_) cancellationHandler_();
    }

    // For the party doing the work: marks the end and drops the handler.
    void finish() noexcept {
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            finished_.store(true, std::memory_order_release);
            handler.swap(cancellationHandler_);
        }
    }

private:
    std::atomic<std::int64_t> total_{0};
    std::atomic<std::int64_t> completed_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::function<void()> cancellationHandler_;
};

}  // namespace Platform

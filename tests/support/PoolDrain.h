#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "Platform/dispatch/ConcurrentPool.h"

namespace TestSupport {

// Waits (at most `limit`) until every task queued on the concurrent pool before the call
// has finished, so no completion posted earlier can still arrive; false when time ran out.
// Occupies every pool thread at once with a marker: the pool takes tasks in order, so a
// thread that reached its marker has finished whatever it took before.
inline bool drainConcurrentPool(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    struct Barrier {
        std::mutex mutex;
        std::condition_variable arrived;
        std::size_t count = 0;
    };
    // Shared: markers that outlive a timed-out wait still find it.
    const auto barrier = std::make_shared<Barrier>();
    const std::size_t threads = Platform::ConcurrentPool::threadCount();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (std::size_t i = 0; i < threads; ++i) {
        Platform::ConcurrentPool::post([barrier, threads, deadline] {
            std::unique_lock lock(barrier->mutex);
            ++barrier->count;
            barrier->arrived.notify_all();
            barrier->arrived.wait_until(lock, deadline, [&] { return barrier->count >= threads; });
        });
    }
    std::unique_lock lock(barrier->mutex);
    return barrier->arrived.wait_until(lock, deadline, [&] { return barrier->count >= threads; });
}

}  // namespace TestSupport

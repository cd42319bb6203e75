#include "tests/support/PoolDrain.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "Platform/dispatch/ConcurrentPool.h"

namespace TestSupport {

bool drainConcurrentPool(std::chrono::milliseconds limit) {
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

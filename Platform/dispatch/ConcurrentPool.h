#pragma once

#include <cstddef>
#include <functional>

#include "Platform/core/Export.h"

namespace Platform {

// The process-wide pool of worker threads (one per core, at least two) on which the
// library runs its completions and notification deliveries.
//
// Lifetime: the pool starts on first use and is stopped by a static destructor at
// exit. From then on tasks that were queued but not started, and tasks posted later,
// are dropped (destroyed without running); the tasks already running finish and the
// threads are joined. So nothing runs against half-destroyed statics after exit began.
class QUILLO_EXPORT ConcurrentPool {
public:
    ConcurrentPool() = delete;

    // Queues `task` and returns at once; it runs on one of the pool's threads.
    // A task that throws loses the exception: the pool keeps running.
    static void post(std::function<void()> task);

    // Whether the calling thread is one of the pool's.
    static bool isPoolThread() noexcept;

    // How many threads the pool runs.
    static std::size_t threadCount() noexcept;
};

}  // namespace Platform

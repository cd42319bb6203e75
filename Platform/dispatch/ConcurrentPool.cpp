#include "Platform/dispatch/ConcurrentPool.h"

#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "Platform/log/Logger.h"

namespace Platform {

namespace {

std::size_t poolSize() noexcept {
    return std::max<std::size_t>(2, std::thread::hardware_concurrency());
}

// Constant-initialized, so both stay usable after the pool below was destroyed:
// posts that race with exit see `closed` and drop their task.
constinit std::mutex stateMutex;
constinit bool closed = false;

class Pool {
public:
    Pool() : pool_(poolSize()) {}
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    ~Pool() {
        {
            std::lock_guard lock(stateMutex);
            closed = true;
        }
        // Outside the lock: tasks still running may post (and be dropped) meanwhile.
        pool_.stop();
        pool_.join();
    }

    asio::thread_pool& pool() noexcept { return pool_; }

private:
    asio::thread_pool pool_;
};

// Call only with stateMutex held and `closed` false.
Pool& pool() {
    static Pool instance;
    return instance;
}

void runGuarded(const std::function<void()>& task) noexcept {
    try {
        task();
    } catch (const std::exception& error) {
        Logger(Logger::defaultSubsystem(), "ConcurrentPool").error("A pool task threw: %{public}s", error.what());
    } catch (...) {
        Logger(Logger::defaultSubsystem(), "ConcurrentPool").error("A pool task threw a non-standard exception");
    }
}

}  // namespace

void ConcurrentPool::post(std::function<void()> task) {
    if (!task) return;
    std::unique_lock lock(stateMutex);
    if (closed) {
        lock.unlock();
        return;  // `task` is destroyed here, unrun.
    }
    asio::post(pool().pool(), [task = std::move(task)] { runGuarded(task); });
}

bool ConcurrentPool::isPoolThread() noexcept {
    std::lock_guard lock(stateMutex);
    return !closed && pool().pool().get_executor().running_in_this_thread();
}

std::size_t ConcurrentPool::threadCount() noexcept {
    return poolSize();
}

}  // namespace Platform

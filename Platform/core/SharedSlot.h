#pragma once

#include <memory>
#include <mutex>

namespace Platform {

// A shared pointer that one thread may replace while others read it. The lock covers
// only the copy of the pointer, so a reader never waits for more than that (never for
// the work that produced a new value). Chosen over std::atomic<std::shared_ptr>, whose
// lock bit the thread sanitizer cannot see.
template <class T>
class SharedSlot {
public:
    SharedSlot() = default;
    explicit SharedSlot(std::shared_ptr<T> value) : value_(std::move(value)) {}
    SharedSlot(const SharedSlot&) = delete;
    SharedSlot& operator=(const SharedSlot&) = delete;

    std::shared_ptr<T> load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void store(std::shared_ptr<T> value) {
        {
            std::lock_guard lock(mutex_);
            value_.swap(value);
        }
        // The old value, if this was its last owner, is destroyed outside the lock.
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};

}  // namespace Platform

#include "Common/service/internal/DelayedTasks.h"

#include "Platform/dispatch/ConcurrentPool.h"

namespace Common::detail {

DelayedTasks& DelayedTasks::shared() {
    static DelayedTasks tasks;
    return tasks;
}

DelayedTasks::DelayedTasks() : thread_([this] { loop(); }) {}

DelayedTasks::~DelayedTasks() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

DelayedTasks::Token DelayedTasks::schedule(Clock::duration delay, std::function<void()> task) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    tasks_.emplace(Clock::now() + delay, std::make_pair(token, std::move(task)));
    changed_.notify_all();
    return token;
}

void DelayedTasks::runNow(Token token) {
    std::lock_guard lock(mutex_);
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->second.first != token) continue;
        auto entry = std::move(it->second);
        tasks_.erase(it);
        tasks_.emplace(Clock::time_point::min(), std::move(entry));
        changed_.notify_all();
        return;
    }
}

void DelayedTasks::loop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (tasks_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto due = tasks_.begin()->first;
        if (due > Clock::now()) {
            changed_.wait_until(lock, due);
            continue;
        }
        auto task = std::move(tasks_.begin()->second.second);
        tasks_.erase(tasks_.begin());
        Platform::ConcurrentPool::post(std::move(task));
    }
}

}  // namespace Common::detail

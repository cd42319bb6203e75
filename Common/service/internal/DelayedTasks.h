#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace Common::detail {

// Runs tasks on the concurrent pool once their time has come: the pauses between
// tries of a part. One thread for the process, started on first use; nothing waits
// on the pool's threads.
class DelayedTasks {
public:
    using Clock = std::chrono::steady_clock;
    using Token = std::uint64_t;

    static DelayedTasks& shared();

    Token schedule(Clock::duration delay, std::function<void()> task);
    // Runs the task now rather than at its time (a cancelled upload must not wait out
    // a back-off); does nothing once it ran.
    void runNow(Token token);

    ~DelayedTasks();

private:
    DelayedTasks();
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    // By due time, then token; the token names the entry for runNow.
    std::multimap<Clock::time_point, std::pair<Token, std::function<void()>>> tasks_;
    Token next_ = 1;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace Common::detail

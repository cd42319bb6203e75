#pragma once

// Usage:
//
//   Common::EventPoller poller(connection, [](std::vector<Common::TarnEvent> events) {
//       for (const auto& event : events) refresh(event.target.item);
//   });
//   poller.start();  // reads the latest events, then those after the newest one seen
//   ...
//   poller.stop();   // wakes the wait and cancels a poll under way; returns when the thread ended
//
//   // Or driven by the caller, one poll at a time:
//   const auto outcome = poller.pollOnce();

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Common/connection/WebConnection.h"
#include "Common/fileprovider/TarnEvent.h"
#include "Platform/core/Export.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"
#include "Platform/time/Date.h"

namespace Common {

// Follows the service's activity feed: asks for the latest events once, then for those
// after the newest `performed_at` seen. The service may answer the boundary event again
// (and the address carries the time to the millisecond only), so events at the boundary
// are remembered and never handed twice. While the feed is quiet or failing the wait
// between polls doubles up to a maximum; events bring it back to the minimum.
class QUILLO_EXPORT EventPoller {
public:
    using Handler = std::function<void(std::vector<TarnEvent>)>;
    using Interval = std::chrono::milliseconds;

    struct Options {
        Interval minimumInterval = std::chrono::seconds(5);
        Interval maximumInterval = std::chrono::minutes(5);
        // How much longer each quiet or failed poll makes the next wait (at least 1).
        double backoffFactor = 2;
        // Called with each failed poll's error (on the poller's thread).
        std::function<void(const Platform::ErrorPtr&)> onError;
        // Replaces the real wait between polls (tests): called with the interval, on the
        // poller's thread, and the next poll follows when it returns unless stop() was
        // called. Null: wait on the clock, woken early by stop().
        std::function<void(Interval)> wait;
    };

    struct PollOutcome {
        // Events handed to the handler by this poll (0 when it failed or was quiet).
        std::size_t handed = 0;
        Platform::ErrorPtr error;
        // The wait before the next poll.
        Interval nextInterval{0};
    };

    EventPoller(WebConnection connection, Handler handler, Options options);
    EventPoller(WebConnection connection, Handler handler) : EventPoller(std::move(connection), std::move(handler), Options{}) {}
    ~EventPoller();
    EventPoller(const EventPoller&) = delete;
    EventPoller& operator=(const EventPoller&) = delete;

    // Polls on a thread of its own until stop(). Does nothing when already started.
    void start();
    // Wakes the wait, cancels a poll under way and joins the thread. Safe to call twice.
    void stop();

    // One poll on the caller's thread: asks, filters out events already handed, hands
    // the rest (in the answer's order) and moves the cursor. Not to be mixed with start().
    PollOutcome pollOnce();

    // The newest `performed_at` handed so far.
    std::optional<Platform::Date> cursor() const;

private:
    // Identity of an event for the boundary check: its action id, or its contents.
    static std::string key(const TarnEvent& event);
    void run();
    [[nodiscard]] bool isStopping() const;

    WebConnection connection_;
    Handler handler_;
    Options options_;

    mutable std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool stopping_ = false;
    std::shared_ptr<Platform::Progress> inFlight_;
    std::thread thread_;

    // Touched by the polling thread only (or the caller of pollOnce).
    std::optional<Platform::Date> cursor_;
    // Handed events at the cursor's boundary, with their time.
    std::unordered_map<std::string, Platform::Date> boundaryKeys_;
    Interval interval_;
};

}  // namespace Common

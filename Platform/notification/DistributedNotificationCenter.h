#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Platform/core/Export.h"
#include "Platform/notification/NotificationTransport.h"

namespace Platform {

// Named notifications without objects, for telling other processes of the same user
// (and this one) that something changed. Observers are called asynchronously on the
// ConcurrentPool: each observer sees the posts in the order they reached it, one at a
// time. Thread-safe.
class QUILLO_EXPORT DistributedNotificationCenter {
public:
    using Observer = std::function<void(const std::string& name)>;
    // Identifies one observer; 0 is never handed out.
    using ObserverToken = std::uint64_t;

    // The process's center: on the session bus when one is reachable at first use,
    // in this process only otherwise (one log line says which).
    static DistributedNotificationCenter& shared();

    explicit DistributedNotificationCenter(std::shared_ptr<NotificationTransport> transport);
    ~DistributedNotificationCenter();
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

    void post(std::string name);
    ObserverToken addObserver(std::string name, Observer observer);
    // Deliveries to the observer that have not started are dropped; one already
    // running on another thread finishes. Unknown tokens are ignored. Safe to call from
    // within an observer, its own included.
    void removeObserver(ObserverToken token);

private:
    struct State;

    std::shared_ptr<NotificationTransport> transport_;
    // Shared with the transport's receivers, which may run while the center goes away.
    std::shared_ptr<State> state_;
    // Keeps subscribing and unsubscribing in step with the observer counts.
    std::mutex subscriptionMutex_;
    std::map<std::string, std::size_t, std::less<>> observerCounts_;
};

}  // namespace Platform

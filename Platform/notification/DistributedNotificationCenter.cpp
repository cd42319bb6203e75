#include "Platform/notification/DistributedNotificationCenter.h"

#include <deque>
#include <vector>

#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/log/Logger.h"
#include "Platform/notification/InProcessNotificationTransport.h"
#include "Platform/notification/internal/SessionBusNotificationTransport.h"

namespace Platform {

namespace {

// Names one drain task delivers before it lets other pool tasks run.
constexpr std::size_t deliveriesPerTask = 64;

// One observer with its own queue: its posts are delivered in order, one at a time.
struct Entry : std::enable_shared_from_this<Entry> {
    Entry(std::string name, DistributedNotificationCenter::Observer observer)
        : name(std::move(name)), observer(std::move(observer)) {}

    void enqueue(const std::string& posted) {
        std::lock_guard lock(mutex);
        if (removed) return;
        pending.push_back(posted);
        if (draining) return;
        draining = true;
        ConcurrentPool::post([self = shared_from_this()] { self->drain(); });
    }

    void drain() {
        for (std::size_t delivered = 0;; ++delivered) {
            std::string next;
            {
                std::lock_guard lock(mutex);
                if (removed || pending.empty()) {
                    draining = false;
                    return;
                }
                if (delivered == deliveriesPerTask) break;
                next = std::move(pending.front());
                pending.pop_front();
            }
            try {
                observer(next);
            } catch (const std::exception& error) {
                Logger(Logger::defaultSubsystem(), "DistributedNotificationCenter")
                    .error("An observer of %{public}s threw: %{public}s", next, error.what());
            } catch (...) {
                Logger(Logger::defaultSubsystem(), "DistributedNotificationCenter")
                    .error("An observer of %{public}s threw", next);
            }
        }
        ConcurrentPool::post([self = shared_from_this()] { self->drain(); });
    }

    void remove() {
        std::lock_guard lock(mutex);
        removed = true;
        pending.clear();
    }

    const std::string name;
    const DistributedNotificationCenter::Observer observer;
    std::mutex mutex;
    std::deque<std::string> pending;
    bool draining = false;
    bool removed = false;
};

// The session bus when there is one, so other processes of the user see the posts;
// otherwise they stay in this process.
std::shared_ptr<NotificationTransport> sessionTransport() {
    const Logger logger(Logger::defaultSubsystem(), "DistributedNotificationCenter");
    auto connection = detail::SessionBusNotificationTransport::connect();
    if (connection.transport) {
        logger.notice("Distributed notifications go over the session bus");
        return connection.transport;
    }
    logger.notice("Distributed notifications stay in this process: %{public}s", connection.failure);
    return std::make_shared<InProcessNotificationTransport>();
}

}  // namespace

struct DistributedNotificationCenter::State {
    void deliver(const std::string& name) {
        std::vector<std::shared_ptr<Entry>> targets;
        {
            std::lock_guard lock(mutex);
            for (const auto& [token, entry] : observers) {
                if (entry->name == name) targets.push_back(entry);
            }
        }
        for (const auto& entry : targets) entry->enqueue(name);
    }

    std::mutex mutex;
    ObserverToken nextToken = 1;
    std::map<ObserverToken, std::shared_ptr<Entry>> observers;
};

DistributedNotificationCenter& DistributedNotificationCenter::shared() {
    // Never destroyed: posts and deliveries may still arrive while the process exits.
    static auto* center = new DistributedNotificationCenter(sessionTransport());
    return *center;
}

DistributedNotificationCenter::DistributedNotificationCenter(std::shared_ptr<NotificationTransport> transport)
    : transport_(std::move(transport)), state_(std::make_shared<State>()) {}

DistributedNotificationCenter::~DistributedNotificationCenter() {
    std::lock_guard subscriptions(subscriptionMutex_);
    for (const auto& [name, count] : observerCounts_) transport_->unsubscribe(name);
    std::lock_guard lock(state_->mutex);
    for (const auto& [token, entry] : state_->observers) entry->remove();
    state_->observers.clear();
}

void DistributedNotificationCenter::post(std::string name) {
    transport_->post(name);
}

DistributedNotificationCenter::ObserverToken DistributedNotificationCenter::addObserver(std::string name,
                                                                                        Observer observer) {
    auto entry = std::make_shared<Entry>(name, std::move(observer));
    std::lock_guard subscriptions(subscriptionMutex_);
    ObserverToken token = 0;
    {
        std::lock_guard lock(state_->mutex);
        token = state_->nextToken++;
        state_->observers.emplace(token, std::move(entry));
    }
    if (++observerCounts_[name] == 1) {
        transport_->subscribe(name, [state = state_](const std::string& posted) { state->deliver(posted); });
    }
    return token;
}

void DistributedNotificationCenter::removeObserver(ObserverToken token) {
    std::lock_guard subscriptions(subscriptionMutex_);
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->observers.find(token);
        if (it == state_->observers.end()) return;
        entry = std::move(it->second);
        state_->observers.erase(it);
    }
    entry->remove();
    if (auto it = observerCounts_.find(entry->name); it != observerCounts_.end() && --it->second == 0) {
        observerCounts_.erase(it);
        transport_->unsubscribe(entry->name);
    }
}

}  // namespace Platform

#include "Platform/notification/internal/SessionBusNotificationTransport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>

#include <cerrno>

#include "Platform/log/Logger.h"

namespace Platform::detail {

namespace {

constexpr const char* objectPath = "/com/fernwaldsky/quillo/DistributedNotificationCenter";
constexpr const char* interfaceName = "com.fernwaldsky.quillo.DistributedNotificationCenter";
constexpr const char* memberName = "Posted";
// Messages handled before the reader lets posting threads in again.
constexpr int messagesPerTurn = 64;

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "DistributedNotificationCenter");
    return instance;
}

// A match rule value in single quotes; a quote inside is closed, escaped and reopened.
std::string quoted(const std::string& value) {
    std::string text = "'";
    for (const char c : value) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

bool isSendable(const std::string& name) {
    return !name.empty() && name.size() <= SessionBusNotificationTransport::maximumNameLength &&
           name.find('\0') == std::string::npos;
}

// Milliseconds until sd-bus's next deadline, -1 for none.
int pollTimeout(sd_bus* bus) {
    std::uint64_t deadline = 0;
    if (sd_bus_get_timeout(bus, &deadline) < 0 || deadline == UINT64_MAX) return -1;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t current = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
    if (deadline <= current) return 0;
    return static_cast<int>(std::min<std::uint64_t>((deadline - current + 999) / 1000, 60'000));
}

}  // namespace

struct SessionBusNotificationTransport::Subscription {
    SessionBusNotificationTransport* owner = nullptr;
    std::shared_ptr<const Receiver> receiver;
    SdBusSlot slot;
};

SessionBusNotificationTransport::Connection SessionBusNotificationTransport::connect() {
    auto bus = openSessionBus();
    if (!bus.bus) return {.failure = bus.failure};
    EventDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) return {.failure = "no eventfd: " + busFailure(errno)};
    return {.transport = std::shared_ptr<SessionBusNotificationTransport>(
                new SessionBusNotificationTransport(std::move(bus.bus), std::move(wake)))};
}

SessionBusNotificationTransport::SessionBusNotificationTransport(SdBus bus, EventDescriptor wake)
    : bus_(std::move(bus)), wake_(std::move(wake)) {
    thread_ = std::thread([this] { run(); });
}

SessionBusNotificationTransport::~SessionBusNotificationTransport() {
    stopping_.store(true);
    wake();
    thread_.join();
    std::lock_guard lock(mutex_);
    subscriptions_.clear();  // their slots go before the bus
}

void SessionBusNotificationTransport::wake() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto wrote = ::write(wake_.get(), &one, sizeof one);
}

void SessionBusNotificationTransport::post(const std::string& name) {
    if (!isSendable(name)) {
        logger().error("Not posting a notification name of %{public}d bytes", static_cast<int>(name.size()));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        int result = sd_bus_emit_signal(bus_.get(), objectPath, interfaceName, memberName, "s", name.c_str());
        // Written out now, so a post just before the process ends still leaves it.
        if (result >= 0) result = sd_bus_flush(bus_.get());
        if (result < 0) {
            logger().error("Posting %{public}s on the session bus failed: %{public}s", name, busFailure(result));
        }
    }
    wake();
}

void SessionBusNotificationTransport::subscribe(const std::string& name, Receiver receiver) {
    if (!isSendable(name)) return;
    auto shared = std::make_shared<const Receiver>(std::move(receiver));
    {
        std::lock_guard lock(mutex_);
        if (auto it = subscriptions_.find(name); it != subscriptions_.end()) {
            it->second->receiver = std::move(shared);
            return;
        }
        auto subscription = std::make_unique<Subscription>();
        subscription->owner = this;
        subscription->receiver = std::move(shared);
        const auto rule = std::string("type='signal',path='") + objectPath + "',interface='" + interfaceName +
                          "',member='" + memberName + "',arg0=" + quoted(name);
        sd_bus_slot* slot = nullptr;
        // Synchronous: once this returns the bus routes the name's posts here.
        if (const int added = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onSignal, subscription.get());
            added < 0) {
            logger().error("Observing %{public}s on the session bus failed: %{public}s", name, busFailure(added));
            return;
        }
        subscription->slot = SdBusSlot(slot);
        subscriptions_.emplace(name, std::move(subscription));
    }
    wake();  // the call may have read signals that now wait in the queue
}

void SessionBusNotificationTransport::unsubscribe(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (auto it = subscriptions_.find(name); it != subscriptions_.end()) subscriptions_.erase(it);
}

// Runs with mutex_ held, from sd_bus_process on the reading thread.
int SessionBusNotificationTransport::onSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* subscription = static_cast<Subscription*>(userdata);
    const char* name = nullptr;
    if (sd_bus_message_read(message, "s", &name) < 0 || name == nullptr) return 0;
    const std::string text(name);
    if (text.size() > maximumNameLength) return 0;
    subscription->owner->pending_.emplace_back(subscription->receiver, text);
    return 0;
}

void SessionBusNotificationTransport::run() {
    for (;;) {
        std::vector<std::pair<std::shared_ptr<const Receiver>, std::string>> ready;
        pollfd entries[2] = {{.fd = wake_.get(), .events = POLLIN, .revents = 0}, {}};
        int timeout = -1;
        bool more = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_.load()) return;
            for (int handled = 0; handled < messagesPerTurn; ++handled) {
                const int processed = sd_bus_process(bus_.get(), nullptr);
                if (processed < 0) {
                    logger().error("The session bus connection ended: %{public}s", busFailure(processed));
                    return;
                }
                if (processed == 0) break;
                more = handled + 1 == messagesPerTurn;
            }
            ready.swap(pending_);
            entries[1] = {.fd = sd_bus_get_fd(bus_.get()), .events = static_cast<short>(sd_bus_get_events(bus_.get())),
                          .revents = 0};
            timeout = pollTimeout(bus_.get());
        }
        for (const auto& [receiver, name] : ready) {
            if (*receiver) (*receiver)(name);
        }
        if (more) continue;
        if (::poll(entries, 2, timeout) < 0 && errno != EINTR) return;
        if (entries[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = ::read(wake_.get(), &count, sizeof count);
        }
    }
}

}  // namespace Platform::detail

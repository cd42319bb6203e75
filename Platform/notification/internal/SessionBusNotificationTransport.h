#pragma once

#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/core/FileDescriptor.h"
#include "Platform/dbus/internal/SessionBus.h"
#include "Platform/notification/NotificationTransport.h"

namespace Platform::detail {

// Posts are signals on the user's session bus, so every process of the session that
// subscribed to the name receives them, this one included. One thread per transport
// reads the bus; the connection is used under a mutex, and receivers are called on
// that thread outside it.
class SessionBusNotificationTransport final : public NotificationTransport {
public:
    // Names longer than this are neither sent nor accepted.
    static constexpr std::size_t maximumNameLength = 1024;

    struct Connection {
        std::shared_ptr<SessionBusNotificationTransport> transport;
        std::string failure;  // why there is no transport
    };
    [[nodiscard]] static Connection connect();

    ~SessionBusNotificationTransport() override;

    void post(const std::string& name) override;
    void subscribe(const std::string& name, Receiver receiver) override;
    void unsubscribe(const std::string& name) override;

private:
    struct Subscription;
    using EventDescriptor = FileDescriptor;

    explicit SessionBusNotificationTransport(SdBus bus, EventDescriptor wake);
    static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);
    void run();
    void wake() noexcept;

    std::mutex mutex_;
    SdBus bus_;
    EventDescriptor wake_;
    std::map<std::string, std::unique_ptr<Subscription>, std::less<>> subscriptions_;
    // Deliveries found while processing, handed out once the mutex is released.
    std::vector<std::pair<std::shared_ptr<const Receiver>, std::string>> pending_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace Platform::detail

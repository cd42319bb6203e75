#pragma once

#include <functional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// Carries notification names between processes for the DistributedNotificationCenter.
// The center subscribes once per name it has observers for; the transport calls the
// receiver for every post of that name, from this process or another, on any thread.
class QUILLO_EXPORT NotificationTransport {
public:
    using Receiver = std::function<void(const std::string& name)>;

    virtual ~NotificationTransport() = default;

    // Sends `name` to every subscriber, in this process and others.
    virtual void post(const std::string& name) = 0;
    // Posts of `name` go to `receiver` from now on, replacing an earlier receiver.
    virtual void subscribe(const std::string& name, Receiver receiver) = 0;
    // Posts of `name` go nowhere from now on.
    virtual void unsubscribe(const std::string& name) = 0;
};

}  // namespace Platform

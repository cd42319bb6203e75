#include "Platform/notification/InProcessNotificationTransport.h"

namespace Platform {

void InProcessNotificationTransport::post(const std::string& name) {
    std::shared_ptr<const Receiver> receiver;
    {
        std::lock_guard lock(mutex_);
        if (auto it = receivers_.find(name); it != receivers_.end()) receiver = it->second;
    }
    if (receiver && *receiver) (*receiver)(name);
}

void InProcessNotificationTransport::subscribe(const std::string& name, Receiver receiver) {
    auto shared = std::make_shared<const Receiver>(std::move(receiver));
    std::lock_guard lock(mutex_);
    receivers_.insert_or_assign(name, std::move(shared));
}

void InProcessNotificationTransport::unsubscribe(const std::string& name) {
    std::lock_guard lock(mutex_);
    receivers_.erase(name);
}

}  // namespace Platform

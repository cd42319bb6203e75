#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "Platform/core/Export.h"
#include "Platform/notification/NotificationTransport.h"

namespace Platform {

// A transport that reaches only this process: each post calls the name's receiver
// right away, on the posting thread.
class QUILLO_EXPORT InProcessNotificationTransport final : public NotificationTransport {
public:
    void post(const std::string& name) override;
    void subscribe(const std::string& name, Receiver receiver) override;
    void unsubscribe(const std::string& name) override;

private:
    std::mutex mutex_;
    // Shared so a post can call a receiver outside the lock while it is replaced.
    std::map<std::string, std::shared_ptr<const Receiver>, std::less<>> receivers_;
};

}  // namespace Platform

#include "Platform/notification/UserNotificationCenter.h"

#include "Platform/notification/NotificationServerBackend.h"

namespace Platform {

UserNotificationCenter& UserNotificationCenter::current() {
    // The process's center asks the desktop unless the host sets another back end.
    static UserNotificationCenter center;
    [[maybe_unused]] static const bool withBackend =
        (center.setBackend(std::make_shared<NotificationServerBackend>()), true);
    return center;
}

void UserNotificationCenter::setBackend(std::shared_ptr<UserNotificationBackend> backend) {
    const std::lock_guard lock(mutex_);
    backend_ = std::move(backend);
}

void UserNotificationCenter::getNotificationSettings(std::function<void(UserNotificationSettings)> completion) const {
    std::shared_ptr<UserNotificationBackend> backend;
    {
        const std::lock_guard lock(mutex_);
        backend = backend_;
    }
    if (!backend) {
        completion(UserNotificationSettings{});
        return;
    }
    backend->getNotificationSettings(std::move(completion));
}

}  // namespace Platform

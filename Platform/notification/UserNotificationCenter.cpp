#include "Platform/notification/UserNotificationCenter.h"

namespace Platform {

UserNotificationCenter& UserNotificationCenter::current() {
    static UserNotificationCenter center;
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

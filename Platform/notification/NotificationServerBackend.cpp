#include "Platform/notification/NotificationServerBackend.h"

#include "Platform/dispatch/ConcurrentPool.h"

namespace Platform {

UserNotificationAuthorizationStatus NotificationServerBackend::authorizationStatus(
    NotificationServerAvailability availability) noexcept {
    switch (availability) {
        case NotificationServerAvailability::reachable:
            return UserNotificationAuthorizationStatus::authorized;
        case NotificationServerAvailability::notRunning:
            return UserNotificationAuthorizationStatus::denied;
        case NotificationServerAvailability::noSessionBus:
            break;
    }
    return UserNotificationAuthorizationStatus::notDetermined;
}

void NotificationServerBackend::getNotificationSettings(std::function<void(UserNotificationSettings)> completion) {
    // The bus call may take up to its timeout: never on the caller's thread.
    ConcurrentPool::post([completion = std::move(completion)] {
        completion({.authorizationStatus = authorizationStatus(notificationServerAvailability())});
    });
}

}  // namespace Platform

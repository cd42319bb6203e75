#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "Platform/core/Export.h"

namespace Platform {

enum class UserNotificationAuthorizationStatus { notDetermined, denied, authorized, provisional, ephemeral };

struct UserNotificationSettings {
    UserNotificationAuthorizationStatus authorizationStatus = UserNotificationAuthorizationStatus::notDetermined;
};

// Where the settings come from: on a desktop, whether a notification server is
// reachable on the session bus. Answers through the completion, on any thread.
class QUILLO_EXPORT UserNotificationBackend {
public:
    virtual ~UserNotificationBackend() = default;
    virtual void getNotificationSettings(std::function<void(UserNotificationSettings)> completion) = 0;
};

// The user-notification center of the process. current() starts with a
// NotificationServerBackend (the session bus decides); a center made by hand has no back end,
// and without one nothing is determined yet. Thread-safe.
class QUILLO_EXPORT UserNotificationCenter {
public:
    static UserNotificationCenter& current();

    // Replaces the back end; null goes back to none.
    void setBackend(std::shared_ptr<UserNotificationBackend> backend);
    void getNotificationSettings(std::function<void(UserNotificationSettings)> completion) const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<UserNotificationBackend> backend_;
};

}  // namespace Platform

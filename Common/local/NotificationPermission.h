#pragma once

#include <functional>
#include <future>

#include "Platform/core/Export.h"
#include "Platform/notification/UserNotificationCenter.h"

namespace Common {

// True unless the user has plainly authorized notifications: not determined, denied,
// provisional and ephemeral all count as not authorized. The completion runs on
// whatever thread the center's back end answers on. The process's center asks the
// session bus for a notification server (Platform::NotificationServerBackend).
QUILLO_EXPORT void isNotAuthorized(const Platform::UserNotificationCenter& center, std::function<void(bool)> completion);
[[nodiscard]] QUILLO_EXPORT std::future<bool> isNotAuthorized(
    const Platform::UserNotificationCenter& center = Platform::UserNotificationCenter::current());

}  // namespace Common

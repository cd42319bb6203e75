#pragma once

#include <functional>

#include "Platform/core/Export.h"
#include "Platform/notification/NotificationServer.h"
#include "Platform/notification/UserNotificationCenter.h"

namespace Platform {

// The desktop's answer to "may we notify the user?": authorized while a notification server is
// reachable on the session bus, denied on a bus without one (nothing could show them),
// not determined without a bus to ask. UserNotificationCenter::current() uses it unless the
// host sets another back end. Each ask looks again, on the concurrent pool, since a server
// may come or go with the desktop session.
class QUILLO_EXPORT NotificationServerBackend : public UserNotificationBackend {
public:
    void getNotificationSettings(std::function<void(UserNotificationSettings)> completion) override;

    [[nodiscard]] static UserNotificationAuthorizationStatus authorizationStatus(NotificationServerAvailability availability) noexcept;
};

}  // namespace Platform

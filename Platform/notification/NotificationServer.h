#pragma once

#include "Platform/core/Export.h"

namespace Platform {

// Whether desktop notifications can be shown: a notification server
// (org.freedesktop.Notifications) on the user's session bus.
enum class NotificationServerAvailability {
    reachable,     // owned, or the bus starts a server on the first call
    notRunning,    // a session bus without one
    noSessionBus,  // no session bus to ask (or it did not answer)
};

// Asks the session bus now; a few milliseconds, bounded by a short call timeout.
[[nodiscard]] QUILLO_EXPORT NotificationServerAvailability notificationServerAvailability();

}  // namespace Platform

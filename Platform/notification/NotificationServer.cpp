#include "Platform/notification/NotificationServer.h"

#include "Platform/dbus/internal/SessionBus.h"

namespace Platform {

NotificationServerAvailability notificationServerAvailability() {
    const auto connection = detail::openSessionBus();
    if (!connection.bus) return NotificationServerAvailability::noSessionBus;
    const auto state = detail::busNameState(connection.bus.get(), "org.freedesktop.Notifications");
    if (!state) return NotificationServerAvailability::noSessionBus;
    return *state == detail::BusNameState::absent ? NotificationServerAvailability::notRunning
                                                  : NotificationServerAvailability::reachable;
}

}  // namespace Platform

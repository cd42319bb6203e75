#include <gtest/gtest.h>

#include "Platform/notification/NotificationServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"

namespace {

using Platform::NotificationServerAvailability;
using TestSupport::ChildProcess;

TEST(NotificationServer, DISABLED_Reports) {
    const auto role = ChildProcess::role();
    if (!role) GTEST_SKIP();
    EXPECT_EQ(static_cast<int>(Platform::notificationServerAvailability()), std::stoi(*role));
}

// Each case asks from a fresh process, as the host does once at start.
TEST(NotificationServer, AvailabilityFollowsTheSessionBus) {
    enum class Bus { none, withoutServer, withServer };
    const struct {
        const char* name;
        Bus bus;
        NotificationServerAvailability expected;
    } cases[] = {
        {"no session bus", Bus::none, NotificationServerAvailability::noSessionBus},
        {"nobody owns the name", Bus::withoutServer, NotificationServerAvailability::notRunning},
        {"a server owns the name", Bus::withServer, NotificationServerAvailability::reachable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bus != Bus::none && !TestSupport::hasSessionBus()) {
            EXPECT_FALSE(TestSupport::sessionBusRequired()) << "no session bus";
            continue;
        }
        Platform::detail::SdBus server;
        if (c.bus == Bus::withServer) {
            server = Platform::detail::openSessionBus().bus;
            ASSERT_GE(sd_bus_request_name(server.get(), "org.freedesktop.Notifications", 0), 0);
        }
        ChildProcess::Options options{.role = std::to_string(static_cast<int>(c.expected))};
        if (c.bus == Bus::none) options.environment = TestSupport::withoutSessionBus();
        EXPECT_EQ(ChildProcess::start("NotificationServer.DISABLED_Reports", options).wait(), 0);
    }
}

}  // namespace

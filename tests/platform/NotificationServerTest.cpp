#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "Common/local/NotificationPermission.h"
#include "Platform/notification/NotificationServer.h"
#include "Platform/notification/UserNotificationCenter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"

namespace {

using Platform::NotificationServerAvailability;
using Status = Platform::UserNotificationAuthorizationStatus;
using TestSupport::ChildProcess;

enum class Bus { none, withoutServer, withServer };
const struct Case {
    const char* name;
    Bus bus;
    NotificationServerAvailability availability;
    Status status;  // of the process's own center, which has the desktop back end
    bool notAuthorized;
} cases[] = {
    {"no session bus", Bus::none, NotificationServerAvailability::noSessionBus, Status::notDetermined, true},
    {"nobody owns the name", Bus::withoutServer, NotificationServerAvailability::notRunning, Status::denied, true},
    {"a server owns the name", Bus::withServer, NotificationServerAvailability::reachable, Status::authorized, false},
};

// The argument is the index of the case.
const TestSupport::ChildRole reports("notification-server-reports", [](const std::string& index) {
    const Case& c = cases[std::stoul(index)];
    EXPECT_EQ(Platform::notificationServerAvailability(), c.availability);
    std::promise<Status> settings;
    auto status = settings.get_future();
    Platform::UserNotificationCenter::current().getNotificationSettings(
        [&](Platform::UserNotificationSettings answer) { settings.set_value(answer.authorizationStatus); });
    ASSERT_EQ(status.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(status.get(), c.status);
    auto answer = Common::isNotAuthorized();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answer.get(), c.notAuthorized);
});

// Each case asks from a fresh process, as the host does once at start.
TEST(NotificationServer, AvailabilityAndPermissionFollowTheSessionBus) {
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const Case& c = cases[index];
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
        ChildProcess::Options options{.role = "notification-server-reports", .argument = std::to_string(index)};
        if (c.bus == Bus::none) options.environment = TestSupport::withoutSessionBus();
        EXPECT_EQ(ChildProcess::play(options).wait(), 0);
    }
}

}  // namespace

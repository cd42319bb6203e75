#include <gtest/gtest.h>

#include <condition_variable>
#include <future>

#include "Common/connection/WebConnection.h"
#include "Common/local/NotificationNames.h"
#include "Common/service/LSParameter.h"
#include "Platform/notification/DistributedNotificationCenter.h"
#include "Platform/notification/internal/SessionBusNotificationTransport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Common::WebConnection;
using TestSupport::ChildProcess;

constexpr int failureLimit = 501;

// The other process: fails calls until the limit, through the shared center.
const TestSupport::ChildRole failer("fails-past-the-limit", [](const std::string&) {
    // Refused before sending ("..") and counted: no server needed.
    const WebConnection connection(*Platform::URL::parse("http://127.0.0.1:9/"), 1.0);
    WebConnection::resetFailureCount();
    for (int i = 0; i < failureLimit; ++i) {
        std::promise<void> done;
        connection.makeAPICallWithReturn(Common::WebService::LSParameter("..", 0, 10), std::nullopt, false,
                                         [&](auto) { done.set_value(); });
        ASSERT_EQ(done.get_future().wait_for(30s), std::future_status::ready);
    }
    EXPECT_EQ(WebConnection::failureCount(), 0) << "the 501st failure reset the counter";
});

TEST(FailureLimitAcrossProcesses, AnotherProcessSeesTheLimitNotification) {
    QUILLO_REQUIRE_SESSION_BUS();
    std::mutex mutex;
    std::condition_variable changed;
    int seen = 0;
    auto bus = Platform::detail::SessionBusNotificationTransport::connect();
    ASSERT_TRUE(bus.transport) << bus.failure;
    Platform::DistributedNotificationCenter center(bus.transport);
    center.addObserver(Common::QuilloExceededErrorLimit, [&](const std::string&) {
        std::lock_guard lock(mutex);
        ++seen;
        changed.notify_all();
    });
    auto child = ChildProcess::play({.role = "fails-past-the-limit"});
    ASSERT_EQ(child.wait(), 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 30s, [&] { return seen > 0; }));
    EXPECT_EQ(seen, 1);
}

}  // namespace

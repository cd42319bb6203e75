#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <thread>

#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/notification/DistributedNotificationCenter.h"
#include "Common/local/NotificationPermission.h"
#include "Platform/notification/InProcessNotificationTransport.h"
#include "Platform/notification/NotificationServer.h"
#include "Platform/notification/UserNotificationCenter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"
#include "tests/support/PoolDrain.h"

namespace {

using namespace std::chrono_literals;
using Platform::DistributedNotificationCenter;
using TestSupport::ChildProcess;

std::unique_ptr<DistributedNotificationCenter> makeCenter() {
    return std::make_unique<DistributedNotificationCenter>(
        std::make_shared<Platform::InProcessNotificationTransport>());
}

// Counts deliveries per observer id; waits are bounded.
class Tally {
public:
    DistributedNotificationCenter::Observer observer(int id, bool throws = false) {
        return [this, id, throws](const std::string&) {
            {
                // Notified under the lock: the tally may go away as soon as the waiter wakes.
                std::lock_guard lock(mutex_);
                ++counts_[id];
                offPool_ += Platform::ConcurrentPool::isPoolThread() ? 0 : 1;
                changed_.notify_all();
            }
            if (throws) throw std::runtime_error("observer failure");
        };
    }
    // Waits for `total` deliveries, then for the pool to run what was queued behind them,
    // so that extra ones would show.
    std::map<int, int> after(int total) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, 30s, [&] { return sum() >= total; });
        }
        // Twice: a drain task may queue its next turn behind the first markers.
        EXPECT_TRUE(TestSupport::drainConcurrentPool() && TestSupport::drainConcurrentPool());
        std::lock_guard lock(mutex_);
        EXPECT_EQ(offPool_, 0);
        return counts_;
    }

private:
    int sum() const {
        int all = 0;
        for (const auto& [id, count] : counts_) all += count;
        return all;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, int> counts_;
    int offPool_ = 0;
};

TEST(DistributedNotificationCenter, DeliversPostsToObserversOfTheirName) {
    struct Case {
        std::vector<std::string> observed;  // observer i watches observed[i]
        std::vector<std::string> posts;
        bool firstThrows;
        bool shared;
    };
    const Case cases[] = {
        {{"a"}, {"a", "a"}, false, false},
        {{"a"}, {"b", "a", "c"}, false, false},
        {{"a", "a", "b"}, {"a", "b"}, false, false},
        {{"a"}, {"z"}, false, false},
        {{"a", "a"}, {"a", "a"}, true, false},
        {{"net.quillo.test.changed"}, {"net.quillo.test.changed"}, false, true},
    };
    for (const auto& c : cases) {
        auto own = makeCenter();
        auto& center = c.shared ? DistributedNotificationCenter::shared() : *own;
        Tally tally;
        std::vector<DistributedNotificationCenter::ObserverToken> tokens;
        std::map<int, int> expected;
        int total = 0;
        for (int i = 0; i < static_cast<int>(c.observed.size()); ++i) {
            tokens.push_back(center.addObserver(c.observed[i], tally.observer(i, c.firstThrows && i == 0)));
            const int count = static_cast<int>(std::count(c.posts.begin(), c.posts.end(), c.observed[i]));
            if (count > 0) expected[i] = count;
            total += count;
        }
        for (const auto& name : c.posts) center.post(name);
        EXPECT_EQ(tally.after(total), expected) << c.observed.size() << " observers, " << c.posts.size() << " posts";
        for (auto token : tokens) center.removeObserver(token);
    }
}

TEST(DistributedNotificationCenter, RemovedObserversAreNotCalled) {
    enum class Removal { beforePost, fromOwnCallback, unknownToken };
    for (const auto removal : {Removal::beforePost, Removal::fromOwnCallback, Removal::unknownToken}) {
        auto center = makeCenter();
        Tally tally;
        DistributedNotificationCenter::ObserverToken removed = 0;
        removed = center->addObserver("n", [&, count = tally.observer(0)](const std::string& name) {
            count(name);
            if (removal == Removal::fromOwnCallback) center->removeObserver(removed);
        });
        const auto kept = center->addObserver("n", tally.observer(1));
        center->removeObserver(removal == Removal::unknownToken ? removed + kept + 100
                               : removal == Removal::beforePost  ? removed
                                                                 : 0);
        for (int i = 0; i < 5; ++i) center->post("n");
        const std::map<int, int> expected[] = {{{1, 5}}, {{0, 1}, {1, 5}}, {{0, 5}, {1, 5}}};
        const auto& wanted = expected[static_cast<int>(removal)];
        int total = 0;
        for (const auto& [id, count] : wanted) total += count;
        EXPECT_EQ(tally.after(total), wanted) << static_cast<int>(removal);
        center->removeObserver(kept);
    }
}

TEST(DistributedNotificationCenter, ManyPostsFromManyThreadsReachEachObserverOnce) {
    auto center = makeCenter();
    Tally tally;
    center->addObserver("a", tally.observer(0));
    center->addObserver("a", tally.observer(1));
    center->addObserver("b", tally.observer(2));
    constexpr int threads = 8, perThread = 400, half = threads * perThread / 2;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) center->post((i + t) % 2 == 0 ? "a" : "b");
        });
    }
    for (auto& poster : posters) poster.join();
    EXPECT_EQ(tally.after(3 * half), (std::map<int, int>{{0, half}, {1, half}, {2, half}}));
}

using Platform::NotificationServerAvailability;
using Status = Platform::UserNotificationAuthorizationStatus;

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

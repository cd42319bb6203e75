#include <gtest/gtest.h>

#include <httplib.h>

#include <deque>
#include <future>

#include "tests/support/Credentials.h"
#include "../support/LoopbackServer.h"
#include "Common/fileprovider/EventPoller.h"

using namespace Common;
using namespace std::chrono_literals;

namespace {

// An event at `at` (seconds and milliseconds past 2024-01-02T03:04:00Z); a null id is sent as JSON null.
std::string event(const std::string& at, const std::optional<std::string>& id, const std::string& path = "/a") {
    return R"({"access":{"app":"web"},"account":{"enterprise_id":1,"user":{"id":2,"name":"U","avatar_url":""}},)"
           R"("target":{"item":{"path":")" + path + R"(","scheme":"tarn","type":"file"}},)"
           R"("performed_at":"2024-01-02T03:04:)" + at + R"(Z","action_id":)" + (id ? '"' + *id + '"' : "null") +
           R"(,"action":"modify"})";
}

class EventPollerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.on("GET", "/events", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(mutex);
            if (answers.empty()) {
                response.set_content("[]", "application/json");
                return;
            }
            const auto [status, body] = answers.front();
            answers.pop_front();
            response.status = status;
            response.set_content(body, "application/json");
        });
        ASSERT_TRUE(server.start());
    }
    WebConnection connection() const {
        return WebConnection(*Platform::URL::parse(server.url("")),
                             WebConnection::Options{.credentials = TestSupport::FixedCredentialSource::withToken("t")});
    }

    std::mutex mutex;
    std::deque<std::pair<int, std::string>> answers;
    TestSupport::LoopbackServer server{std::chrono::seconds(60)};
};

TEST_F(EventPollerTest, HandsEachEventOnceAndBacksOffWhileQuiet) {
    const struct {
        const char* name;
        int status;
        std::string answer;
        std::string query;               // what the poll asked
        std::vector<std::string> handed;  // paths handed
        std::chrono::milliseconds next;
    } steps[] = {
        {"latest once", 200, "[" + event("01.000", "a1", "/1") + "," + event("05.678", "a2", "/2") + "]", "use=app&latest",
         {"/1", "/2"}, 100ms},
        {"boundary event repeated, one new beside it", 200,
         "[" + event("05.678", "a2", "/2") + "," + event("05.678", "a3", "/3") + "]",
         "use=app&after=2024-01-02T03:04:05.678Z", {"/3"}, 100ms},
        {"only repeats: quiet", 200, "[" + event("05.678", "a3", "/3") + "," + event("01.000", "a1", "/1") + "]",
         "use=app&after=2024-01-02T03:04:05.678Z", {}, 200ms},
        {"empty: quiet", 200, "[]", "use=app&after=2024-01-02T03:04:05.678Z", {}, 400ms},
        {"failure backs off too, to the maximum", 500, "", "use=app&after=2024-01-02T03:04:05.678Z", {}, 500ms},
        {"events without ids, one repeated in the same answer", 200,
         "[" + event("07.000", std::nullopt, "/4") + "," + event("07.000", std::nullopt, "/4") + "]",
         "use=app&after=2024-01-02T03:04:05.678Z", {"/4"}, 100ms},
        {"repeat of an event without id", 200, "[" + event("07.000", std::nullopt, "/4") + "," + event("07.000", std::nullopt, "/5") + "]",
         "use=app&after=2024-01-02T03:04:07.000Z", {"/5"}, 100ms},
    };
    std::vector<std::string> handed;
    EventPoller poller(connection(), [&](std::vector<TarnEvent> events) {
        for (const auto& e : events) handed.push_back(*e.target.item.path);
    }, {.minimumInterval = 100ms, .maximumInterval = 500ms});
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        {
            std::lock_guard lock(mutex);
            answers.emplace_back(step.status, step.answer);
        }
        handed.clear();
        const auto outcome = poller.pollOnce();
        EXPECT_EQ(server.requests().back().query, step.query);
        EXPECT_EQ(handed, step.handed);
        EXPECT_EQ(outcome.handed, step.handed.size());
        EXPECT_EQ(outcome.error != nullptr, step.status != 200);
        EXPECT_EQ(outcome.nextInterval, step.next);
    }
}

TEST_F(EventPollerTest, StopsPromptlyWhileWaiting) {
    EventPoller poller(connection(), nullptr, {.minimumInterval = std::chrono::hours(1), .maximumInterval = std::chrono::hours(1)});
    poller.start();
    ASSERT_TRUE(server.waitForRequests(1, 20s));
    auto stopped = std::async(std::launch::async, [&] { poller.stop(); });
    EXPECT_EQ(stopped.wait_for(20s), std::future_status::ready) << "stop() must wake the hour-long wait";
}

}  // namespace

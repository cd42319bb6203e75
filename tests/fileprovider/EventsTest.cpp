#include <gtest/gtest.h>

#include <httplib.h>

#include <deque>
#include <future>

#include "Common/fileprovider/EventPoller.h"
#include "Common/fileprovider/TarnEvent.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/support/Credentials.h"
#include "tests/support/Failures.h"
#include "tests/support/LoopbackServer.h"

using namespace Common;
using namespace std::chrono_literals;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
using K = Platform::DecodingError::Kind;
using Action = TarnEventActionType;

// An event's members as they arrive; an empty one is left out.
struct EventShape {
    std::string action = R"("action":"trash")";
    std::string actionId = R"("action_id":"a1")";
    std::string userId = R"("id":5)";
    std::string item = R"({"id":"9","inode":"i","path":"/p","project_name":"P","scheme":"tarn","type":"file"})";
    std::string toItem;  // raw member, e.g. ,"to_item":{...}
    std::string performedAt = R"("performed_at":"2024-01-02T03:04:05.678Z")";
};

std::string event(const EventShape& s) {
    std::string json = R"({"access":{"app":"web"},"account":{"enterprise_id":3,"user":{)" + s.userId +
                       R"(,"name":"U","avatar_url":"https://a.test/u.png"}},"target":{"item":)" + s.item + s.toItem +
                       "}," + s.performedAt;
    if (!s.actionId.empty()) json += "," + s.actionId;
    if (!s.action.empty()) json += "," + s.action;
    return json + "}";
}

TEST(TarnEvent, DecodesOrFailsAsAWhole) {
    const struct {
        const char* name;
        EventShape shape;
        std::optional<K> failure;
        Action action = Action::trash;
        std::optional<std::string> actionId = "a1";
        bool hasDestination = false;
    } rows[] = {
        {"known action", {}, {}},
        {"action of a newer service", {.action = R"("action":"share")"}, {}, Action::unknown},
        {"null action id", {.actionId = R"("action_id":null)"}, {}, Action::trash, std::nullopt},
        {"with destination", {.toItem = R"(,"to_item":{"scheme":"tarn","type":"folder"})"}, {}, Action::trash, "a1", true},
        {"item with only scheme and type", {.item = R"({"scheme":"tarn","type":"file"})"}, {}},
        {"action id key missing", {.actionId = ""}, K::keyNotFound},
        {"action missing", {.action = ""}, K::keyNotFound},
        {"action not a text", {.action = R"("action":3)"}, K::typeMismatch},
        {"negative user id", {.userId = R"("id":-1)"}, K::dataCorrupted},
        {"item without scheme", {.item = R"({"type":"file"})"}, K::keyNotFound},
        {"item without type", {.item = R"({"scheme":"tarn"})"}, K::keyNotFound},
        {"date not ISO 8601", {.performedAt = R"("performed_at":"02/01/2024")"}, K::dataCorrupted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(TestSupport::decodingFailure<TarnEvent>(event(row.shape)), row.failure);
        if (row.failure) continue;
        const auto decoded = api.decode<TarnEvent>(event(row.shape));
        EXPECT_EQ(decoded.action, row.action);
        EXPECT_EQ(decoded.actionId, row.actionId);
        EXPECT_EQ(decoded.target.toItem.has_value(), row.hasDestination);
        EXPECT_EQ(decoded.performedAt, Platform::Date{1704164645.678});
    }
    const auto whole = api.decode<TarnEvent>(event({}));
    EXPECT_EQ(whole.account, (TarnEventAccount{3, {5, "U", "https://a.test/u.png"}}));
    EXPECT_EQ(whole.target.item, (TarnEventItem{"9", "i", "/p", "P", "tarn", "file"}));
    EXPECT_EQ(whole.access.app, "web");
    // The fallback belongs to events: the enumeration alone refuses a text it does not know.
    EXPECT_THROW((void)api.decode<std::vector<Action>>(R"(["share"])"), Platform::DecodingError);
    EXPECT_EQ(api.decode<std::vector<Action>>(R"(["move"])")[0], Action::move);
    // One unknown action does not sink the feed.
    EXPECT_EQ(api.decode<std::vector<TarnEvent>>("[" + event({.action = R"("action":"x")"}) + "," + event({}) + "]").size(), 2u);
}

// The events feed on loopback: each poll takes the next queued answer, or an empty list.
class EventPollerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.on("GET", "/events", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(mutex);
            const auto [status, body] = answers.empty() ? std::pair{200, std::string("[]")} : answers.front();
            if (!answers.empty()) answers.pop_front();
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

// An event at `at` (seconds past 2024-01-02T03:04:00Z) on `path`; a null id is sent as JSON null.
std::string polled(const std::string& at, const std::optional<std::string>& id, const std::string& path) {
    return event({.actionId = R"("action_id":)" + (id ? '"' + *id + '"' : std::string("null")),
                  .item = R"({"path":")" + path + R"(","scheme":"tarn","type":"file"})",
                  .performedAt = R"("performed_at":"2024-01-02T03:04:)" + at + R"(Z")"});
}

TEST_F(EventPollerTest, HandsEachEventOnceAndBacksOffWhileQuiet) {
    const std::string after = "use=app&after=2024-01-02T03:04:05.678Z";
    const struct {
        const char* name;
        int status;
        std::string answer;
        std::string query;                // what the poll asked
        std::vector<std::string> handed;  // paths handed
        std::chrono::milliseconds next;
    } steps[] = {
        {"latest once", 200, "[" + polled("01.000", "a1", "/1") + "," + polled("05.678", "a2", "/2") + "]", "use=app&latest",
         {"/1", "/2"}, 100ms},
        {"boundary event repeated, one new beside it", 200,
         "[" + polled("05.678", "a2", "/2") + "," + polled("05.678", "a3", "/3") + "]", after, {"/3"}, 100ms},
        {"only repeats: quiet", 200, "[" + polled("05.678", "a3", "/3") + "," + polled("01.000", "a1", "/1") + "]", after, {},
         200ms},
        {"empty: quiet", 200, "[]", after, {}, 400ms},
        {"failure backs off too, to the maximum", 500, "", after, {}, 500ms},
        {"events without ids, one repeated in the same answer", 200,
         "[" + polled("07.000", std::nullopt, "/4") + "," + polled("07.000", std::nullopt, "/4") + "]", after, {"/4"}, 100ms},
        {"repeat of an event without id; a whole second", 200,
         "[" + polled("07.000", std::nullopt, "/4") + "," + polled("07.000", std::nullopt, "/5") + "]",
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

#include <gtest/gtest.h>

#include "Common/fileprovider/TarnEvent.h"
#include "Common/fileprovider/TarnEventsParameter.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/support/Decoding.h"

using namespace Common;
using Platform::DecodingError;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
using K = DecodingError::Kind;

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

TEST(TarnEventsParameter, RequestLines) {
    const struct {
        const char* name;
        std::optional<Platform::Date> date;
        std::string line;
    } rows[] = {
        {"latest", std::nullopt, "GET /events?use=app&latest"},
        {"after, milliseconds UTC", Platform::Date{1704164645.678}, "GET /events?use=app&after=2024-01-02T03:04:05.678Z"},
        {"after, whole second", Platform::Date{1704164645}, "GET /events?use=app&after=2024-01-02T03:04:05.000Z"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const WebService::TarnEventsParameter parameter(row.date);
        EXPECT_EQ(parameter.httpRequestLine(), row.line);
        EXPECT_TRUE(parameter.isAuthRequired());
        EXPECT_FALSE(parameter.isJSONRequest());
    }
}

TEST(TarnEvent, Decodes) {
    const struct {
        const char* name;
        EventShape shape;
        TarnEventActionType action;
        std::optional<std::string> actionId;
        bool hasDestination;
    } rows[] = {
        {"known action", {}, TarnEventActionType::trash, "a1", false},
        {"action of a newer service", {.action = R"("action":"share")"}, TarnEventActionType::unknown, "a1", false},
        {"null action id", {.actionId = R"("action_id":null)"}, TarnEventActionType::trash, std::nullopt, false},
        {"with destination", {.toItem = R"(,"to_item":{"scheme":"tarn","type":"folder"})"}, TarnEventActionType::trash, "a1", true},
        {"item with only scheme and type", {.item = R"({"scheme":"tarn","type":"file"})"}, TarnEventActionType::trash, "a1", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
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
}

TEST(TarnEvent, FailsAsAWhole) {
    const struct {
        const char* name;
        EventShape shape;
        K kind;
    } rows[] = {
        {"action id key missing", {.actionId = ""}, K::keyNotFound},
        {"action missing", {.action = ""}, K::keyNotFound},
        {"action not a text", {.action = R"("action":3)"}, K::typeMismatch},
        {"negative user id", {.userId = R"("id":-1)"}, K::dataCorrupted},
        {"item without scheme", {.item = R"({"type":"file"})"}, K::keyNotFound},
        {"item without type", {.item = R"({"scheme":"tarn"})"}, K::keyNotFound},
        {"date not ISO 8601", {.performedAt = R"("performed_at":"02/01/2024")"}, K::dataCorrupted},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TestSupport::decodingFailure<TarnEvent>(event(row.shape)), row.kind) << row.name;
    }
    // The fallback belongs to events: the enumeration alone refuses a text it does not know.
    EXPECT_THROW((void)api.decode<std::vector<TarnEventActionType>>(R"(["share"])"), DecodingError);
    EXPECT_EQ(api.decode<std::vector<TarnEventActionType>>(R"(["move"])")[0], TarnEventActionType::move);
    // One unknown action does not sink the feed.
    EXPECT_EQ(api.decode<std::vector<TarnEvent>>("[" + event({.action = R"("action":"x")"}) + "," + event({}) + "]").size(), 2u);
}

}  // namespace

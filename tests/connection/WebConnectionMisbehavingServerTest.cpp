// Answers that arrive but cannot be used: each call ends in one typed error and counts
// as exactly one failure.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <variant>

#include "../platform/StoreTestSupport.h"
#include "Common/auth/OAuthManager.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Platform/http/URLError.h"
#include "Platform/json/DecodingError.h"
#include "tests/support/Credentials.h"
#include "tests/support/PoolDrain.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/StampRecord.h"

using namespace Common;
using namespace std::chrono_literals;
using TestSupport::ScriptedServer;
using Step = TestSupport::ScriptStep;

namespace {

using TestSupport::Stamp;

struct StampProbe : APIEndpoint<StampProbe, Stamp> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/stamp";
    StampProbe() : APIEndpoint<StampProbe, Stamp>(true, false) {}
};

using Kind = Platform::DecodingError::Kind;
using Code = Platform::URLError::Code;

struct UnusableAnswer {
    std::string name;
    std::string reply;
    // What the caller gets: a DecodingError of a kind, a RailsError, or a URLError of a code.
    std::variant<Kind, RailsError, Code> expected;
    bool holdsAfterReply = false;  // keeps the connection open: only an early refusal ends the call

    friend void PrintTo(const UnusableAnswer& row, std::ostream* out) { *out << row.name; }
};

std::string ok(std::string_view body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + std::string(body);
}

constexpr std::string_view date = R"("created_at":"2024-05-01T09:30:00Z")";

std::vector<UnusableAnswer> unusableAnswers() {
    const std::string nested(100000, '[');
    return {
        {"Empty200", ok(""), Kind::dataCorrupted},
        {"TruncatedJSON", ok(R"({"name":"x","created_at":"2024-05-01T09:)"), Kind::dataCorrupted},
        {"InvalidUTF8", ok("{\"name\":\"\xff\xfe\"," + std::string(date) + "}"), Kind::dataCorrupted},
        {"NotJSON", ok("<html><body>Bad gateway</body></html>"), Kind::dataCorrupted},
        {"DeepNesting", ok(R"({"name":"x",)" + std::string(date) + R"(,"extra":)" + nested + std::string(100000, ']') + "}"),
         Kind::dataCorrupted},
        {"DeepNestingUnclosed", ok(nested), Kind::dataCorrupted},
        {"ArrayForRecord", ok(R"([{"name":"x",)" + std::string(date) + "}]"), Kind::typeMismatch},
        {"NumberForString", ok(R"({"name":5,)" + std::string(date) + "}"), Kind::typeMismatch},
        {"MissingField", ok(R"({"name":"x"})"), Kind::keyNotFound},
        {"NullField", ok(R"({"name":null,)" + std::string(date) + "}"), Kind::valueNotFound},
        {"Status600", "HTTP/1.1 600 Odd\r\nContent-Length: 2\r\n\r\n{}", RailsError::unexpected()},
        {"OverAPIMaximumByLength", "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n", Code::dataLengthExceedsMaximum,
         true},
    };
}

class WebConnectionMisbehavingServer : public ::testing::TestWithParam<UnusableAnswer> {
protected:
    void SetUp() override {
        OAuthManager::shared().setCredential(TestSupport::credential("tok", 3600));
        WebConnection::resetFailureCount();
    }

    StoreTestSupport::TemporaryRoot root;
};

TEST_P(WebConnectionMisbehavingServer, FailsOnceWithATypedError) {
    const UnusableAnswer& row = GetParam();
    TestSupport::Script script{Step::send(row.reply)};
    if (row.holdsAfterReply) script.push_back(Step::hold());
    ScriptedServer server(script);
    struct Completions {
        std::atomic<int> count{0};
        std::promise<Platform::Result<Stamp>> first;
    };
    const auto completions = std::make_shared<Completions>();
    auto future = completions->first.get_future();
    {
        // A timeout far beyond any row's own end, so no row can pass by timing out.
        WebConnection connection(*Platform::URL::parse(server.url("")), 5.0);
        connection.makeAPICall(StampProbe(), std::nullopt, false, [completions](Platform::Result<Stamp> result) {
            if (completions->count++ == 0) completions->first.set_value(std::move(result));
        });
        ASSERT_EQ(future.wait_for(60s), std::future_status::ready) << "no completion";
    }
    // The completion hops once more on the pool: drain twice.
    ASSERT_TRUE(TestSupport::drainConcurrentPool());
    ASSERT_TRUE(TestSupport::drainConcurrentPool());
    EXPECT_EQ(completions->count.load(), 1);
    EXPECT_EQ(WebConnection::failureCount(), 1);

    const auto result = future.get();
    ASSERT_FALSE(result);
    if (const auto* kind = std::get_if<Kind>(&row.expected)) {
        const auto* error = result.error<Platform::DecodingError>();
        ASSERT_NE(error, nullptr) << result.error()->what();
        EXPECT_EQ(static_cast<int>(error->kind()), static_cast<int>(*kind)) << error->debugDescription();
    } else if (const auto* rails = std::get_if<RailsError>(&row.expected)) {
        const auto* error = result.error<RailsError>();
        ASSERT_NE(error, nullptr) << result.error()->what();
        EXPECT_EQ(*error, *rails);
    } else {
        const auto* error = result.error<Platform::URLError>();
        ASSERT_NE(error, nullptr) << result.error()->what();
        EXPECT_EQ(std::string(Platform::URLError::name(error->code())), Platform::URLError::name(std::get<Code>(row.expected)));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, WebConnectionMisbehavingServer, ::testing::ValuesIn(unusableAnswers()),
                         [](const auto& info) { return info.param.name; });

}  // namespace

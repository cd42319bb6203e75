#include <gtest/gtest.h>

#include <httplib.h>

#include <atomic>
#include <future>
#include <variant>
#include <condition_variable>
#include <filesystem>
#include <latch>
#include <thread>

#include "../platform/StoreTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "Common/auth/CredentialParameter.h"
#include "Common/auth/OAuthManager.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Common/local/NotificationNames.h"
#include "Common/service/LSParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Platform/http/URLError.h"
#include "Platform/json/DecodingError.h"
#include "Platform/notification/DistributedNotificationCenter.h"
#include "Platform/notification/internal/SessionBusNotificationTransport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"
#include "tests/support/Credentials.h"
#include "tests/support/PoolDrain.h"
#include "tests/support/ScriptedServer.h"

using namespace Common;
using namespace std::chrono_literals;
using TestSupport::ChildProcess;
using TestSupport::LoopbackServer;
using TestSupport::ScriptedServer;
using Step = TestSupport::ScriptStep;

namespace {

// The smallest record with a date: what the calls below decode answers into.
struct Stamp {
    std::string name;
    Platform::Date createdAt;
    static Stamp decode(const Platform::KeyedDecoder& c) {
        return {.name = c.decode<std::string>("name"), .createdAt = c.decode<Platform::Date>("createdAt")};
    }
};

// A parameter for any path the test server offers.
template <class Return, bool auth = true, bool json = false>
struct Probe : APIEndpoint<Probe<Return, auth, json>, Return> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/probe/:id";
    explicit Probe(std::string id) : APIEndpoint<Probe, Return>(auth, json), id_(std::move(id)) {}
    const std::string& identifier() const { return id_; }
    std::string id_;
};

std::shared_ptr<const Credential> credential(long expiresIn) { return TestSupport::credential("tok", expiresIn); }

class WebConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.on("*", "/probe/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string id = request.matches[1];
            if (id == "empty") {
                response.status = 204;
            } else if (id == "odd") {
                response.status = 299;
                response.set_content("{}", "application/json");
            } else if (id == "missing") {
                response.status = 404;
                response.set_content(R"({"error":"no such thing")", "application/json");
            } else if (id == "slow") {
                server.waitForStop(std::chrono::seconds(20));  // past the connection's timeout
                response.set_content("{}", "application/json");
            } else {
                response.set_content(R"({"name":"x","created_at":"2024-05-01T09:30:00Z"})", "application/json");
            }
        });
        server.on("POST", "/oauth/token", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(R"({"access_token":")" + request.get_param_value("password") +
                                     R"(","token_type":"bearer","refresh_token":")" + request.get_param_value("username") +
                                     R"(","login":"u","email":null})",
                                 "application/json");
        });
        ASSERT_TRUE(server.start());
        connection.emplace(*Platform::URL::parse(server.url("")), 1.0);
        OAuthManager::shared().setCredential(credential(3600));
        WebConnection::resetFailureCount();
    }

    template <class P>
    Platform::Result<APIResponse<typename P::ReturnType>> call(const P& parameter,
                                                              std::optional<Platform::Data> body = std::nullopt) {
        std::promise<Platform::Result<APIResponse<typename P::ReturnType>>> done;
        connection->makeAPICallWithReturn(parameter, std::move(body), false, [&](auto result) { done.set_value(result); });
        return done.get_future().get();
    }

    StoreTestSupport::TemporaryRoot root;
    LoopbackServer server{std::chrono::seconds(60)};
    std::optional<WebConnection> connection;
};

TEST_F(WebConnectionTest, ClassifiesAnswers) {
    using Kind = Platform::DecodingError::Kind;
    // An answer the server sends, and what the caller gets.
    EXPECT_TRUE(call(Probe<WebService::EmptyReturnType>("empty")));
    EXPECT_TRUE(call(Probe<WebService::EmptyReturnType>("anything")).value().data.empty());
    EXPECT_EQ(call(Probe<WebService::BinaryReturnType>("x")).value().data.substr(0, 9), R"({"name":")");

    auto emptyRecord = call(Probe<Stamp>("empty"));
    ASSERT_TRUE(emptyRecord.error<Platform::DecodingError>());
    EXPECT_EQ(emptyRecord.error<Platform::DecodingError>()->kind(), Kind::dataCorrupted);

    auto odd = call(Probe<Stamp>("odd"));
    ASSERT_TRUE(odd.error<RailsError>());
    EXPECT_EQ(*odd.error<RailsError>(), RailsError::unexpected());

    auto missing = call(Probe<Stamp>("missing"));
    ASSERT_TRUE(missing.error<RailsError>());
    EXPECT_EQ(*missing.error<RailsError>(),
              RailsError::httpError(HTTPStatusCode::notFound, std::string(R"({"error":"no such thing")")));

    EXPECT_DOUBLE_EQ(call(Probe<Stamp>("x")).value().response.createdAt.timeIntervalSince1970, 1714555800.0);
    EXPECT_EQ(WebConnection::failureCount(), 3) << "record from 204, 299 and 404";
}

TEST_F(WebConnectionTest, TokensAndHeaders) {
    for (const long expiresIn : {-60L, 0L}) {
        OAuthManager::shared().setCredential(credential(expiresIn));
        auto expired = call(Probe<Stamp>("x"));
        ASSERT_TRUE(expired.error<RailsError>()) << expiresIn;
        EXPECT_EQ(*expired.error<RailsError>(), RailsError::unauthorized("Token expired"));
    }
    OAuthManager::shared().setCredential(nullptr);
    EXPECT_EQ(*call(Probe<Stamp>("x")).error<RailsError>(), RailsError::unauthorized("Token expired"));
    EXPECT_EQ(server.requestCount(), 0u) << "nothing is sent without a valid token";
    EXPECT_EQ(WebConnection::failureCount(), 3);

    // The token endpoint needs no credential; its form body arrives as form data.
    auto signIn = call(WebService::CredentialParameter(),
                       WebService::CredentialParameter::dataForCreate("c", "s", {"a+b&c", "p&ss+w=rd%"}, std::nullopt,
                                                                      std::nullopt));
    ASSERT_TRUE(signIn) << signIn.error()->what();
    EXPECT_EQ(signIn.value().response->accessToken(), "p&ss+w=rd%");
    EXPECT_EQ(signIn.value().response->refreshToken(), "a+b&c");

    OAuthManager::shared().setCredential(credential(3600));
    ASSERT_TRUE(call(Probe<Stamp, true, true>("x")));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    const auto& token = requests[0];
    EXPECT_FALSE(token.header("Content-Type").has_value() && token.header("Content-Type")->starts_with("application/json"));
    EXPECT_FALSE(token.header("Authorization").has_value());
    const auto& json = requests[1];
    EXPECT_EQ(json.header("Content-Type"), "application/json; charset=UTF-8");
    EXPECT_EQ(json.header("Authorization"), "Bearer tok");
    for (const auto& request : requests) {
        EXPECT_EQ(request.header("Accept"), "application/json");
        EXPECT_EQ(request.header("X-Tarn-Client"), "osx");
    }
}

TEST_F(WebConnectionTest, TransportFailuresPassThrough) {
    auto timedOut = call(Probe<Stamp>("slow"));
    ASSERT_TRUE(timedOut.error<Platform::URLError>());
    EXPECT_EQ(timedOut.error<Platform::URLError>()->code(), Platform::URLError::Code::timedOut);

    // A path that forms no URL, or an identifier that would leave its path segment, fails
    // before anything is sent, before the call returns, and counts once.
    const auto sent = server.requestCount();
    for (const char* identifier : {"a b", "../../admin"}) {
        SCOPED_TRACE(identifier);
        Platform::ErrorPtr early;
        connection->makeAPICallWithReturn(Probe<Stamp, false>(identifier), std::nullopt, false,
                                          [&](auto r) { early = r.error(); });
        ASSERT_TRUE(early);
        EXPECT_EQ(*dynamic_cast<const CommonError*>(early.get()), CommonError::unexpected());
        EXPECT_THROW(connection->makeAPICall(Probe<Stamp>(identifier), std::nullopt, false).get(), CommonError);
    }
    EXPECT_EQ(server.requestCount(), sent);
    EXPECT_EQ(WebConnection::failureCount(), 5);
}

// Every 501st failure posts once, however many threads fail at the same time.
TEST_F(WebConnectionTest, FailureLimitPostsOncePerCrossing) {
    std::mutex mutex;
    std::condition_variable posted;
    int posts = 0;
    auto& center = Platform::DistributedNotificationCenter::shared();
    const auto token = center.addObserver(QuilloExceededErrorLimit, [&](const std::string&) {
        std::lock_guard lock(mutex);
        ++posts;
        posted.notify_all();
    });
    // Refused before sending: counted, and posted, before the call returns.
    auto failOnce = [&] {
        connection->makeAPICallWithReturn(Probe<Stamp, false>("a b"), std::nullopt, false, [](auto) {});
    };
    // Waits (bounded) for `expected` posts, then for the pool to run what was queued behind
    // them, so that an extra one would show.
    auto postsAfter = [&](int expected) {
        {
            std::unique_lock lock(mutex);
            posted.wait_for(lock, std::chrono::seconds(10), [&] { return posts >= expected; });
        }
        EXPECT_TRUE(TestSupport::drainConcurrentPool() && TestSupport::drainConcurrentPool());
        std::lock_guard lock(mutex);
        return posts;
    };

    for (int i = 0; i < 500; ++i) failOnce();
    EXPECT_EQ(postsAfter(0), 0);
    ASSERT_TRUE(call(Probe<Stamp>("x"))) << "a success does not reset the counter";
    failOnce();
    EXPECT_EQ(postsAfter(1), 1);
    for (int i = 0; i < 501; ++i) failOnce();
    EXPECT_EQ(postsAfter(2), 2) << "the 1002nd failure posts again";

    WebConnection::resetFailureCount();
    constexpr int threads = 8;
    constexpr int perThread = 501 * 2;  // 16 crossings in all
    std::latch start(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            start.arrive_and_wait();
            for (int i = 0; i < perThread; ++i) failOnce();
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(postsAfter(2 + 16), 2 + 16);
    EXPECT_EQ(WebConnection::failureCount(), 0);
    center.removeObserver(token);
}

// A second account's credential, independent of OAuthManager::shared().
using TestSupport::FixedCredentialSource;

std::size_t threadCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                                  std::filesystem::directory_iterator()));
}

TEST_F(WebConnectionTest, AccountsSideBySideEachSendTheirOwnToken) {
    const WebConnection first(*Platform::URL::parse(server.url("")),
                              FixedCredentialSource::withToken("first"));
    const WebConnection second(*Platform::URL::parse(server.url("")),
                               FixedCredentialSource::withToken("second"));
    const WebConnection signedOut(*Platform::URL::parse(server.url("")), std::make_shared<FixedCredentialSource>(nullptr));
    for (int round = 0; round < 3; ++round) {
        for (const auto* connection : {&first, &second}) {
            ASSERT_NO_THROW(connection->makeAPICall(Probe<Stamp>("x"), std::nullopt, false).get());
        }
    }
    EXPECT_THROW(signedOut.makeAPICall(Probe<Stamp>("x"), std::nullopt, false).get(), RailsError)
        << "its own source has no credential, whatever the shared manager holds";
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].header("Authorization"), i % 2 == 0 ? "Bearer first" : "Bearer second") << i;
    }
    EXPECT_EQ(call(Probe<Stamp>("x")).value().response.name, "x") << "the shared manager still serves the rest";
}

TEST_F(WebConnectionTest, CancelledCallFailsOnceAndIsCounted) {
    std::atomic<int> completions{0};
    std::promise<Platform::Result<APIResponse<Stamp>>> done;
    const auto progress = connection->makeAPICallWithReturn(Probe<Stamp>("slow"), std::nullopt, false, [&](auto result) {
        if (completions.fetch_add(1) == 0) done.set_value(result);
    });
    progress->cancel();
    auto result = done.get_future().get();
    ASSERT_TRUE(result.error<Platform::URLError>());
    EXPECT_EQ(result.error<Platform::URLError>()->code(), Platform::URLError::Code::cancelled);
    EXPECT_EQ(WebConnection::failureCount(), 1);
    ASSERT_TRUE(call(Probe<Stamp>("x")));
    EXPECT_EQ(completions.load(), 1);
}

// The API session's I/O thread is the only one a fresh connection starts; the download
// and upload sessions start on first use, once for all copies.
// No server here: a server's threads may still be starting while the test counts.
TEST(WebConnectionThreads, StartsOneSessionThreadAndTheOthersOnFirstUse) {
    const auto before = threadCount();
    const WebConnection fresh(*Platform::URL::parse("http://127.0.0.1:9"));
    EXPECT_EQ(threadCount(), before + 1);
    const WebConnection copy = fresh;
    EXPECT_EQ(&copy.downloadSession(), &fresh.downloadSession());
    EXPECT_EQ(threadCount(), before + 2);
    EXPECT_EQ(&copy.uploadSession(), &fresh.uploadSession());
    EXPECT_EQ(threadCount(), before + 3);
}

// Answers that arrive but cannot be used: each call ends in one typed error and counts
// as exactly one failure.
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
        {"MissingField", ok(R"({"name":"x"})"), Kind::keyNotFound},
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
        connection.makeAPICall(Probe<Stamp>("x"), std::nullopt, false, [completions](Platform::Result<Stamp> result) {
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

constexpr int failureLimit = 501;

// The other process: fails calls until the limit, through the shared center.
const TestSupport::ChildRole failer("fails-past-the-limit", [](const std::string&) {
    // Refused before sending ("..") and counted: no server needed.
    const WebConnection failing(*Platform::URL::parse("http://127.0.0.1:9/"), 1.0);
    WebConnection::resetFailureCount();
    for (int i = 0; i < failureLimit; ++i) {
        std::promise<void> done;
        failing.makeAPICallWithReturn(Common::WebService::LSParameter("..", 0, 10), std::nullopt, false,
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

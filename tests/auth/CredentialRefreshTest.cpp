#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <set>

#include "../platform/StoreTestSupport.h"
#include "Common/auth/CredentialParameter.h"
#include "Common/auth/CredentialRefresh.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/SharedConstants.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/OAuthErrorBody.h"
#include "Common/connection/QuilloBackend.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "tests/support/Credentials.h"
#include "tests/support/LoopbackServer.h"

using namespace Common;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<const Credential> credential(const std::string& generation, long expiresIn) {
    return TestSupport::credential("a-" + generation, expiresIn, "r-" + generation);
}

// A token endpoint whose refresh tokens are good for one use, as the service's are.
struct TokenServer {
    enum class Mode { rotate, refuseAll };
    explicit TokenServer(Mode mode) {
        server.on("POST", "/oauth/token", [this, mode](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex);
            std::smatch match;
            const bool current = std::regex_search(request.body, match, std::regex("refresh_token=r-([0-9]+)")) &&
                                 std::stoi(match[1]) == generation;
            if (mode == Mode::refuseAll || !current) {
                response.status = 400;
                response.set_content(R"({"error":"invalid_grant","error_description":"spent"})", "application/json");
                return;
            }
            ++generation;
            const auto g = std::to_string(generation);
            response.set_content(R"({"access_token":"a-)" + g + R"(","token_type":"bearer","refresh_token":"r-)" + g +
                                     R"(","expires_in":3600,"login":"user","email":null})",
                                 "application/json");
        });
        if (!server.start()) std::abort();
    }
    TestSupport::LoopbackServer server;
    std::mutex mutex;
    int generation = 0;
};

// The stores of one process, in the application-group root of the test.
struct Process {
    Platform::Keychain keychain{Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier)};
    KeychainManager keychainManager{keychain};
    SharedContainerDefaults settings = SharedContainerDefaults::sharedContainerDefaults();
    OAuthManager oauth{keychainManager, [this] { return settings.domain(); }};
    WebConnection connection;

    explicit Process(const std::string& serverURL) : connection(Platform::URL::parse(serverURL).value()) {}

    Platform::Result<CredentialRefresh::Outcome> refresh() {
        CredentialRefresh refresh(oauth, keychainManager, settings);
        return refresh.refreshIfExpired([this](const std::string& token, auto done) {
            using WebService::CredentialParameter;
            connection.makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(token), false,
                                   std::move(done));
        });
    }
};

void signIn(const std::shared_ptr<const Credential>& stored) {
    auto settings = SharedContainerDefaults::sharedContainerDefaults();
    Platform::Keychain keychain(Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier));
    KeychainManager(keychain).setCredential(*stored, settings.domain());
    settings.setCredential(stored);
}

// The other process of the race: refreshes once the parent says go, and tells which outcome.
const TestSupport::ChildRole racer("refresh-racer", [](const std::string& serverURL) {
    Process process(serverURL);
    ASSERT_TRUE(TestSupport::ChildProcess::tell());  // holds the old credential, as the parent does
    ASSERT_TRUE(TestSupport::ChildProcess::hear(30s));
    const auto outcome = process.refresh();
    ASSERT_TRUE(outcome) << outcome.error()->what();
    EXPECT_EQ(process.oauth.credential()->accessToken(), "a-1");
    ASSERT_TRUE(TestSupport::ChildProcess::tell(static_cast<char>('0' + static_cast<int>(outcome.value()))));
});

// Two processes refreshing the one shared credential at once spend its refresh token
// once, and both end with the new credential.
TEST(CredentialRefresh, TwoProcessesRefreshOnce) {
    StoreTestSupport::TemporaryRoot root;
    TokenServer tokens(TokenServer::Mode::rotate);
    signIn(credential("0", 0));
    auto child =
        TestSupport::ChildProcess::play({.role = "refresh-racer", .containerRoot = root.path(), .argument = tokens.server.url("")});

    Process process(tokens.server.url(""));
    ASSERT_TRUE(child.receive(60s));
    ASSERT_TRUE(child.send());
    const auto outcome = process.refresh();
    ASSERT_TRUE(outcome) << outcome.error()->what();
    const auto childOutcome = child.receive(60s);
    ASSERT_EQ(child.wait(), 0);
    ASSERT_TRUE(childOutcome);

    EXPECT_EQ(tokens.server.requestCount(), 1u);
    // One refreshed, the other found it done; which one is the race's.
    std::multiset<int> outcomes{static_cast<int>(outcome.value()), *childOutcome - '0'};
    EXPECT_EQ(outcomes, (std::multiset<int>{static_cast<int>(CredentialRefresh::Outcome::refreshedElsewhere),
                                            static_cast<int>(CredentialRefresh::Outcome::refreshed)}));
    EXPECT_EQ(process.oauth.credential()->accessToken(), "a-1");
    // Stored before adopted: a reload keeps the live refresh token.
    process.oauth.reloadCredential();
    EXPECT_EQ(process.oauth.credential()->refreshToken(), "r-1");
    EXPECT_EQ(process.settings.credential()->refreshToken(), "r-1");
}

// Each refusal counts; after ten the helper stops asking and says to sign in again, and
// a credential that is still good is left alone.
TEST(CredentialRefresh, RefusalsCountUntilSignInIsNeeded) {
    StoreTestSupport::TemporaryRoot root;
    TokenServer tokens(TokenServer::Mode::refuseAll);
    signIn(credential("0", 0));
    Process process(tokens.server.url(""));
    for (int refusal = 1; refusal <= 10; ++refusal) {
        SCOPED_TRACE(refusal);
        const auto outcome = process.refresh();
        ASSERT_FALSE(outcome);
        const auto* rails = outcome.error<RailsError>();
        ASSERT_NE(rails, nullptr);
        const auto body = OAuthErrorBody::from(*rails);
        ASSERT_TRUE(body && body->isInvalidGrant());
        EXPECT_EQ(body->errorDescription, "spent");
        EXPECT_EQ(process.oauth.countOfErrors(), refusal);
    }
    const auto refused = process.refresh();
    ASSERT_NE(refused.error<CredentialRefreshError>(), nullptr);
    EXPECT_EQ(refused.error<CredentialRefreshError>()->kind(), CredentialRefreshError::Case::refusedTooOften);
    EXPECT_EQ(tokens.server.requestCount(), 10u);

    signIn(credential("7", 3600));
    EXPECT_EQ(process.refresh().value(), CredentialRefresh::Outcome::refreshedElsewhere);
    EXPECT_EQ(process.oauth.countOfErrors(), 0);
    EXPECT_EQ(process.refresh().value(), CredentialRefresh::Outcome::stillValid);
    EXPECT_EQ(tokens.server.requestCount(), 10u);
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "../platform/StoreTestSupport.h"
#include "Common/auth/CredentialParameter.h"
#include "Common/auth/CredentialRefresh.h"
#include "Common/auth/KeychainError.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/OAuthManager.h"
#include "Common/auth/SharedConstants.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/OAuthErrorBody.h"
#include "Common/connection/QuilloBackend.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/bundle/Bundle.h"
#include "Platform/defaults/UserDefaults.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "tests/support/Credentials.h"
#include "tests/support/Failures.h"
#include "tests/support/FixedClock.h"
#include "tests/support/LogLines.h"
#include "tests/support/LoopbackServer.h"

using Platform::detail::SQLiteKeychainBackend;

using namespace Common;
using namespace std::chrono_literals;
using StoreTestSupport::TemporaryRoot;

namespace {

std::shared_ptr<const Credential> makeCredential(const std::string& token, std::optional<long> expiresIn = 3600) {
    return TestSupport::credential(token, expiresIn, "r-" + token);
}

constexpr int writesPerProcess = 30;

std::size_t countLogLines(const std::string& category, Platform::LogLevel level, Platform::Date since,
                          const std::string& containing = {}) {
    return TestSupport::logLines({.category = category, .level = level, .containing = containing, .since = since}).size();
}

const std::string stagingHost(Platform::rawValue(QuilloBackend::Domain::staging));

// One temporary application-group root with a keychain and shared settings in it.
struct Stores {
    TemporaryRoot root;
    Platform::Keychain keychain{Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier)};
    KeychainManager manager{keychain};
    SharedContainerDefaults settings = SharedContainerDefaults::sharedContainerDefaults();
};

// Writes what a user archive from elsewhere might hold.
struct StrangeUser {
    static constexpr const char* defaultArchiveClassName = "Common.TarnUser";
    static constexpr bool supportsSecureCoding = true;
    void encode(Platform::KeyedArchiver& coder) const {
        coder.encode("id", std::int64_t{1});
        coder.encode("role", std::string("admin"));
        coder.encode("type", std::int64_t{3});
    }
    static std::shared_ptr<StrangeUser> decode(Platform::KeyedUnarchiver&) { return nullptr; }
};

TEST(RecordArchives, RoundTrip) {
    for (const char* email : {R"("u@example.com")", "null"}) {
        const auto credential = Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Credential>>(
            std::string(R"({"access_token":"a","token_type":"bearer","refresh_token":"r","expires_in":60,"login":"u","email":)") +
            email + "}");
        const auto data = Platform::KeyedArchiver::archivedData(*credential, true);
        const auto back = Platform::KeyedUnarchiver::unarchivedObject<Credential>(data);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, *credential) << "the expiration comes back as the same instant";
    }

    const auto user = Platform::JSONDecoder::forAPIResponse().decode<TarnUser>(R"({"id":7,"account_id":9})");
    const auto userBack =
        Platform::KeyedUnarchiver::unarchivedObject<TarnUser>(Platform::KeyedArchiver::archivedData(user, true));
    ASSERT_TRUE(userBack);
    EXPECT_EQ(*userBack, user);

    // A role the reader does not know reads as absent rather than failing the user.
    const auto strange = Platform::KeyedUnarchiver::unarchivedObject<TarnUser>(
        Platform::KeyedArchiver::archivedData(StrangeUser{}, true));
    ASSERT_TRUE(strange);
    EXPECT_EQ(strange->id(), 1);
    EXPECT_EQ(strange->accountId(), 0);
    EXPECT_FALSE(strange->role() || strange->type());
}

TEST(KeychainManager, CredentialsPasswordsAndSecrets) {
    Stores stores;
    auto& manager = stores.manager;
    EXPECT_EQ(manager.accessGroup(), "") << "no bundle prefix, no group";

    // Nothing stored is keyNotFound, not credentialNotFound.
    EXPECT_EQ(TestSupport::thrown<KeychainError>([&] { manager.credential(stagingHost); }), KeychainError::keyNotFound());
    EXPECT_NO_THROW(manager.removeCredential());
    EXPECT_NO_THROW(manager.removePassword());

    // A second write for the same domain replaces the first.
    manager.setCredential(*makeCredential("first"), stagingHost);
    manager.setCredential(*makeCredential("second"), stagingHost);
    EXPECT_EQ(manager.credential(stagingHost)->accessToken(), "second");
    std::vector<Platform::KeychainItem> items;
    ASSERT_EQ(stores.keychain.copyMatching({.service = "Quillo Credential", .matchLimit = Platform::KeychainMatchLimit::all,
                                            .returnData = true},
                                           items),
              Platform::errSecSuccess);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items[0].synchronizable);
    EXPECT_NE(items[0].data->find("TarnOAuthCredential"), std::string::npos);

    // Bytes that are no credential archive.
    ASSERT_EQ(stores.keychain.update({.service = "Quillo Credential"}, {.valueData = std::string("junk")}),
              Platform::errSecSuccess);
    EXPECT_THROW(manager.credential(stagingHost), Platform::ArchiveError);
    manager.removeCredential();
    EXPECT_THROW(manager.credential(stagingHost), KeychainError);

    manager.setPassword("p&ss wörd", "alice");
    EXPECT_EQ(manager.password("alice"), "p&ss wörd");
    manager.setPassword(std::string("\xff\xfe", 2), "bob");
    EXPECT_THROW(manager.password("bob"), KeychainError) << "stored bytes that are not UTF-8";
    EXPECT_THROW(manager.password("carol"), KeychainError);

    manager.setDeviceSecrets({});
    EXPECT_NO_THROW(manager.setDeviceSecrets({}));
}

TEST(KeychainManager, AccessGroupFollowsTheBundlePrefix) {
    Stores stores;
    Platform::Bundle::setMain(Platform::Bundle{"com.example.app", {{appIdentifierPrefixKey, "ABCDE12345."}}});
    KeychainManager grouped(stores.keychain);
    Platform::Bundle::setMain(std::nullopt);
    EXPECT_EQ(grouped.accessGroup(), "ABCDE12345.com.fernwaldsky.quillo.macos.keychain.shared");
    grouped.setCredential(*makeCredential("g"), stagingHost);
    EXPECT_THROW(stores.manager.credential(stagingHost), KeychainError) << "another group sees nothing";
    EXPECT_EQ(grouped.credential(stagingHost)->accessToken(), "g");
}

TEST(SharedContainerDefaults, TypedAccessors) {
    Stores stores;
    auto& settings = stores.settings;
    EXPECT_EQ(settings.domain(), std::string(Platform::rawValue(QuilloBackend::Domain::production)));
    EXPECT_FALSE(settings.account() || settings.credential() || settings.currentUser());

    settings.defaults().set(std::int64_t{5}, defaultsDomainKey);
    settings.defaults().set(true, defaultsAccountKey);
    EXPECT_EQ(settings.domain(), std::string(Platform::rawValue(QuilloBackend::Domain::production)));
    EXPECT_FALSE(settings.account());

    settings.setDomain(stagingHost);
    settings.setAccount("alice");
    settings.setCredential(makeCredential("x"));
    EXPECT_EQ(settings.domain(), stagingHost);
    EXPECT_EQ(settings.account(), "alice");
    EXPECT_EQ(settings.credential()->accessToken(), "x");
    settings.setAccount(std::nullopt);
    settings.setCredential(nullptr);
    EXPECT_FALSE(settings.defaults().object(defaultsAccountKey) || settings.defaults().object(defaultsCredentialKey));

    const auto user = Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const TarnUser>>(
        R"({"id":1,"account_id":2,"role":"partner"})");
    settings.modifyCurrentUser([&](std::shared_ptr<const TarnUser>& current) {
        EXPECT_FALSE(current);
        current = user;
    });
    EXPECT_TRUE(settings.currentUser()->isPartner());

    const auto since = Platform::Date::now();
    settings.defaults().set(Platform::UserDefaultsData{"not an archive"}, defaultsCredentialKey);
    EXPECT_FALSE(settings.credential());
    EXPECT_EQ(countLogLines("UserDefaults", Platform::LogLevel::fault, since), 1u);
}

TEST(OAuthManager, ExpiryAndRefresh) {
    Stores stores;
    OAuthManager manager(stores.manager, [] { return stagingHost; });
    EXPECT_TRUE(manager.isExpired());
    EXPECT_FALSE(manager.bearerToken());
    EXPECT_TRUE(manager.canRefresh());
    bool called = false;
    auto refresher = [&](const std::string& token, std::function<void(OAuthManager::CredentialResult)> done) {
        EXPECT_EQ(token, "r-forever");
        called = true;
        done(makeCredential("new"));
    };
    manager.updateCredential(refresher).get();
    EXPECT_FALSE(called) << "no credential, nothing to refresh";

    manager.setCredential(makeCredential("forever", std::nullopt));
    EXPECT_FALSE(manager.isExpired());
    EXPECT_EQ(manager.bearerToken(), "Bearer forever");

    stores.manager.setCredential(*manager.credential(), stagingHost);
    manager.updateCredential(refresher).get();
    EXPECT_TRUE(called);
    EXPECT_EQ(manager.credential()->accessToken(), "new");
    EXPECT_EQ(stores.manager.credential(stagingHost)->accessToken(), "forever") << "storing is the caller's job";

    // A reload that finds nothing keeps what the manager has, with one error line.
    stores.manager.removeCredential();
    const auto since = Platform::Date::now();
    manager.reloadCredential();
    EXPECT_EQ(manager.credential()->accessToken(), "new");
    EXPECT_EQ(countLogLines("OAuthManager", Platform::LogLevel::error, since), 1u);
}

// The manager counts a credential as expired from the instant of its expiration on; the
// credential itself only strictly after it.
TEST(OAuthManager, ExpiryBoundaryUnderAFixedClock) {
    Stores stores;
    OAuthManager manager(stores.manager, [] { return stagingHost; });
    const Platform::Date decodedAt{1714555800.0};
    Platform::testing::ScopedFixedClock clock(decodedAt);
    const auto credential = makeCredential("a", 3600);
    ASSERT_EQ(credential->expiration(), decodedAt.addingTimeInterval(3600)) << "now + expires_in, read from the clock";
    manager.setCredential(credential);
    const struct {
        const char* name;
        double fromExpiration;  // seconds
        bool managerExpired, credentialExpired;
    } cases[] = {
        {"well before", -3600, false, false},
        {"a millisecond before", -0.001, false, false},
        {"at the instant", 0, true, false},
        {"a millisecond after", 0.001, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.set(credential->expiration().addingTimeInterval(c.fromExpiration));
        EXPECT_EQ(manager.isExpired(), c.managerExpired);
        EXPECT_EQ(credential->isExpired(), c.credentialExpired);
    }
}

TEST(OAuthManager, ReadersNeverSeeATornCredential) {
    Stores stores;
    OAuthManager manager(stores.manager, [] { return stagingHost; });
    const std::shared_ptr<const Credential> credentials[] = {makeCredential("a"), makeCredential("b", 0), nullptr};
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const auto current = manager.credential();
                if (current) {
                    EXPECT_TRUE(current->accessToken() == "a" || current->accessToken() == "b");
                }
                (void)manager.isExpired();
                (void)manager.bearerToken();
                ++reads;
            }
        });
    }
    for (int i = 0; i < 20000 || reads.load() < 1000; ++i) {
        manager.setCredential(credentials[i % 3]);
        if (i > 2'000'000) break;
    }
    stop = true;
    for (auto& reader : readers) reader.join();
}

// The other process of the next tests.
const TestSupport::ChildRole signIn("sign-in", [](const std::string& order) {
    const auto credential = makeCredential("from-child");
    auto settings = SharedContainerDefaults::sharedContainerDefaults();
    settings.setDomain(stagingHost);
    settings.setAccount("child");
    if (order == "settings-first") settings.setCredential(credential);
    KeychainManager::shared().setCredential(*credential, stagingHost);
    settings.setCredential(credential);
});

const TestSupport::ChildRole readSettingsFirst("read-settings-first", [](const std::string&) {
    const auto fromSettings = SharedContainerDefaults::sharedContainerDefaults().credential();
    ASSERT_TRUE(fromSettings);
    EXPECT_EQ(fromSettings->accessToken(), "from-child");
    EXPECT_EQ(KeychainManager::shared().credential(stagingHost)->accessToken(), "from-child");
});

const TestSupport::ChildRole writeCredentials("write-credentials", [](const std::string&) {
    ASSERT_TRUE(TestSupport::ChildProcess::hear(30s));
    for (int i = 0; i < writesPerProcess; ++i) {
        KeychainManager::shared().setCredential(*makeCredential("child-" + std::to_string(i)), stagingHost);
    }
});

// A sign-in in another process reaches this one's manager on reload, and a process that
// has not touched the keychain yet reads what was stored, whichever store came first.
TEST(CrossProcess, AFreshProcessReadsTheSettingsFirst) {
    enum class Written { byTheOtherProcess, underTheTypeName };
    const struct {
        const char* name;
        const char* order;
        Written written;
    } cases[] = {
        {"keychain, then settings", "keychain-first", Written::byTheOtherProcess},
        {"settings, then keychain", "settings-first", Written::byTheOtherProcess},
        {"records under the type's own name", nullptr, Written::underTheTypeName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Stores stores;
        if (c.written == Written::byTheOtherProcess) {
            // This process's manager picks the sign-in up when it reloads.
            OAuthManager manager(stores.manager,
                                 [] { return SharedContainerDefaults::sharedContainerDefaults().domain(); });
            EXPECT_FALSE(manager.credential());
            ASSERT_EQ(TestSupport::ChildProcess::play({.role = "sign-in", .containerRoot = stores.root.path(), .argument = c.order})
                          .wait(),
                      0);
            EXPECT_EQ(stores.settings.account(), "child");
            manager.reloadCredential();
            ASSERT_TRUE(manager.credential());
            EXPECT_EQ(manager.credential()->accessToken(), "from-child");
        } else {
            // As a process that wrote the settings before it used the keychain once did.
            stores.settings.setDomain(stagingHost);
            stores.settings.setCredential(makeCredential("from-child"));
            auto bytes = *stores.settings.defaults().dataForKey(defaultsCredentialKey);
            bytes.replace(bytes.find("TarnOAuthCredential"), std::strlen("TarnOAuthCredential"), "Common.Credential");
            stores.settings.defaults().set(Platform::UserDefaultsData{bytes}, defaultsCredentialKey);
            stores.manager.setCredential(*makeCredential("from-child"), stagingHost);
            ASSERT_EQ(stores.keychain.update({.service = "Quillo Credential"}, {.valueData = bytes}),
                      Platform::errSecSuccess);
        }
        const auto stored = stores.settings.defaults().dataForKey(defaultsCredentialKey).value_or("");
        if (c.written == Written::byTheOtherProcess) {
            EXPECT_NE(stored.find(R"("TarnOAuthCredential")"), std::string::npos) << "one name, whatever the order";
        }
        EXPECT_EQ(TestSupport::ChildProcess::play({.role = "read-settings-first", .containerRoot = stores.root.path()}).wait(), 0);
    }
}

TEST(CrossProcess, TwoProcessesWriteTheKeychainAtOnce) {
    Stores stores;
    auto child = TestSupport::ChildProcess::play({.role = "write-credentials", .containerRoot = stores.root.path()});
    ASSERT_TRUE(child.send());
    for (int i = 0; i < writesPerProcess; ++i) {
        EXPECT_NO_THROW(stores.manager.setCredential(*makeCredential("parent-" + std::to_string(i)), stagingHost));
    }
    ASSERT_EQ(child.wait(), 0) << "every write of the other process succeeded too";
    const auto last = "-" + std::to_string(writesPerProcess - 1);
    const auto token = stores.manager.credential(stagingHost)->accessToken();
    EXPECT_TRUE(token == "parent" + last || token == "child" + last) << token;
    std::vector<Platform::KeychainItem> items;
    EXPECT_EQ(stores.keychain.copyMatching({.service = "Quillo Credential", .matchLimit = Platform::KeychainMatchLimit::all},
                                           items),
              Platform::errSecSuccess);
    EXPECT_EQ(items.size(), 1u);
}

// A process that starts while another one holds a store from everyone: the manager keeps
// the reason, and signs in by itself once the store is free. (A writer holds up no
// opening: StoreLockingTest.)
TEST(OAuthManager, StartsWhileAStoreIsHeld) {
    enum class Held { settings, keychain };
    const struct {
        const char* name;
        Held held;
        const char* logCategory;  // where the reason is logged
    } cases[] = {
        {"settings held", Held::settings, "UserDefaults"},
        {"keychain held", Held::keychain, "Keychain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryRoot root;
        {
            // Signed in earlier; every connection is closed again before the other process comes.
            Platform::Keychain keychain(Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier));
            KeychainManager(keychain).setCredential(*makeCredential("stored"), stagingHost);
            SharedContainerDefaults::sharedContainerDefaults().setDomain(stagingHost);
        }
        const auto group = root.path() / appGroupIdentifier;
        const auto file = c.held == Held::settings
                              ? group / "Preferences" / (std::string(appGroupIdentifier) + ".sqlite")
                              : group / "Keychains" / "keychain.sqlite";
        auto holder = StoreTestSupport::startHolder(StoreTestSupport::Hold::everyone, file);
        ASSERT_EQ(holder.receive(30s), 'L');

        const Platform::StoreOptions shortWait{.busyTimeout = 200ms};
        Platform::Keychain keychain(Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier, shortWait));
        KeychainManager keychainManager(keychain);
        const auto since = Platform::Date::now();
        OAuthManager manager(keychainManager,
                             [&] { return SharedContainerDefaults::sharedContainerDefaults(shortWait).domain(); });
        // Only lastLoadError here: a reader would start a retry that the store still refuses.
        const auto error = manager.lastLoadError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorDescription(), c.held == Held::settings ? SharedDefaultsError().errorDescription()
                                                                      : KeychainError::keyNotFound().errorDescription());
        EXPECT_TRUE(error->failureReason()) << "the store's reason travels along";
        EXPECT_EQ(countLogLines("OAuthManager", Platform::LogLevel::error, since), 1u);
        EXPECT_GE(countLogLines(c.logCategory, Platform::LogLevel::error, since, "database is locked"), 1u);
        ASSERT_TRUE(holder.send());
        ASSERT_EQ(holder.wait(), 0);

        (void)manager.isExpired();  // starts the retry when one is due, and returns at once
        ASSERT_TRUE(manager.waitForPendingLoad(30s));
        ASSERT_TRUE(manager.credential());
        EXPECT_EQ(manager.credential()->accessToken(), "stored");
        EXPECT_FALSE(manager.lastLoadError());
    }
}

// However the refresher fails, updateCredential reports it the same way.
TEST(OAuthManager, RefresherFailuresReachTheCaller) {
    using Completion = std::function<void(OAuthManager::CredentialResult)>;
    const struct {
        const char* name;
        OAuthManager::Refresher refresher;
    } cases[] = {
        {"throws before going asynchronous",
         [](const std::string&, Completion) { throw KeychainError::passwordNotFound(); }},
        {"completes with an error inside the call",
         [](const std::string&, Completion done) { done(KeychainError::passwordNotFound().clone()); }},
        {"completes with an error later",
         [](const std::string&, Completion done) {
             std::thread([done = std::move(done)] { done(KeychainError::passwordNotFound().clone()); }).detach();
         }},
    };
    Stores stores;
    OAuthManager manager(stores.manager, [] { return stagingHost; });
    manager.setCredential(makeCredential("kept"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto future = manager.updateCredential(c.refresher);
        ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
        EXPECT_EQ(TestSupport::thrown<KeychainError>([&] { future.get(); }), KeychainError::passwordNotFound());
        EXPECT_EQ(manager.credential()->accessToken(), "kept");
    }
}

// Refreshing the shared credential across processes.
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

void storeSignIn(const std::shared_ptr<const Credential>& stored) {
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
    storeSignIn(credential("0", 0));
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
    storeSignIn(credential("0", 0));
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

    storeSignIn(credential("7", 3600));
    EXPECT_EQ(process.refresh().value(), CredentialRefresh::Outcome::refreshedElsewhere);
    EXPECT_EQ(process.oauth.countOfErrors(), 0);
    EXPECT_EQ(process.refresh().value(), CredentialRefresh::Outcome::stillValid);
    EXPECT_EQ(tokens.server.requestCount(), 10u);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <latch>
#include <random>
#include <regex>
#include <thread>

#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/KeychainBackendChoice.h"
#include "Platform/keychain/KeychainError.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "Platform/keychain/internal/SecretServiceKeychainBackend.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/LogLines.h"
#include "tests/support/SessionBusTestSupport.h"

using Platform::detail::SecretServiceKeychainBackend;
using Platform::detail::SQLiteKeychainBackend;

namespace {

using namespace Platform;
using StoreTestSupport::TemporaryRoot;
using TestSupport::ChildProcess;
using TestSupport::readFile;
using TestSupport::writeFile;

constexpr const char* group = "group.test.keychain";

Keychain keychainIn(const std::filesystem::path& root) {
    return Keychain(std::make_shared<SQLiteKeychainBackend>(root / "Keychains" / "keychain.sqlite"), "group.default");
}

// The secrets copyMatching returns, in order.
std::vector<std::string> secrets(const std::vector<KeychainItem>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) result.push_back(item.data.value_or("<none>"));
    return result;
}

// Names of the files a damaged keychain was kept under, in `folder`.
std::vector<std::string> damagedFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder, std::filesystem::directory_options::skip_permission_denied)) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class Op { add, update, copy, remove };

struct Step {
    const char* label;
    Op op;
    KeychainQuery query;
    KeychainAttributes attributes;
    OSStatus expected;
    std::vector<std::string> found = {};  // for copy
};

KeychainQuery match(std::optional<std::string> account, std::optional<std::string> accessGroup,
                    std::optional<bool> synchronizable, KeychainMatchLimit limit = KeychainMatchLimit::one) {
    return {.service = "svc", .account = std::move(account), .accessGroup = std::move(accessGroup),
            .synchronizable = synchronizable, .matchLimit = limit, .returnData = true};
}

KeychainAttributes item(std::string account, std::string accessGroup, bool synchronizable, std::string secret) {
    return {.service = "svc", .account = std::move(account), .accessGroup = std::move(accessGroup),
            .synchronizable = synchronizable, .valueData = std::move(secret)};
}

// Both back ends answer every call alike; the Secret Service one on the private bus.
enum class Backend { file, secretService };

class KeychainBackends : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::file) {
            keychain_.emplace(keychainIn(root_.path()));
            return;
        }
        QUILLO_REQUIRE_SESSION_BUS();
        keychain_.emplace(connection());
        const auto emptied = keychain_->remove({});  // what an earlier test left
        ASSERT_TRUE(emptied == errSecSuccess || emptied == errSecItemNotFound) << emptied;
    }

    // A keychain on a back end of its own, as another process would have.
    Keychain connection() const {
        if (GetParam() == Backend::file) return keychainIn(root_.path());
        return Keychain(std::make_shared<SecretServiceKeychainBackend>("session"), "group.default");
    }

    TemporaryRoot root_;
    std::optional<Keychain> keychain_;
};

INSTANTIATE_TEST_SUITE_P(Keychain, KeychainBackends, ::testing::Values(Backend::file, Backend::secretService),
                         [](const auto& info) { return info.param == Backend::file ? "file" : "secretService"; });

TEST_P(KeychainBackends, StatusesFollowTheItemRules) {
    auto& keychain = *keychain_;
    const auto all = KeychainMatchLimit::all;
    const Step steps[] = {
        {"remove on empty", Op::remove, match({}, {}, {}), {}, errSecItemNotFound},
        {"copy on empty", Op::copy, match("a", "g1", false), {}, errSecItemNotFound},
        {"update on empty", Op::update, match("a", "g1", false), {.valueData = "x"}, errSecItemNotFound},
        {"add", Op::add, {}, item("a", "g1", false, "p1"), errSecSuccess},
        {"add again", Op::add, {}, item("a", "g1", false, "other"), errSecDuplicateItem},
        {"other group", Op::add, {}, item("a", "g2", false, "p2"), errSecSuccess},
        {"synchronizable", Op::add, {}, item("a", "g1", true, "p3"), errSecSuccess},
        {"other account", Op::add, {}, item("b", "g1", false, "p4"), errSecSuccess},
        {"default group", Op::add, {}, {.service = "svc", .account = "a"}, errSecSuccess},
        {"copy g1", Op::copy, match("a", "g1", false), {}, errSecSuccess, {"p1"}},
        {"copy g2", Op::copy, match("a", "g2", false), {}, errSecSuccess, {"p2"}},
        {"copy default group", Op::copy, match("a", "group.default", false), {}, errSecSuccess, {"<none>"}},
        {"copy first of many", Op::copy, match("a", "g1", {}), {}, errSecSuccess, {"p1"}},
        {"copy all", Op::copy, match({}, "g1", {}, all), {}, errSecSuccess, {"p1", "p3", "p4"}},
        {"update", Op::update, match("a", "g1", false), {.valueData = "p1b"}, errSecSuccess},
        {"updated", Op::copy, match("a", "g1", false), {}, errSecSuccess, {"p1b"}},
        {"update into a taken identity", Op::update, match("a", "g2", false), {.accessGroup = "g1"},
         errSecDuplicateItem},
        {"nothing changed", Op::copy, match({}, "g2", {}, all), {}, errSecSuccess, {"p2"}},
        {"update without changes", Op::update, match("a", "g1", false), {}, errSecParam},
        {"remove across accounts", Op::remove, match({}, "g1", false), {}, errSecSuccess},
        {"removed", Op::copy, match({}, "g1", false, all), {}, errSecItemNotFound},
        {"synchronizable kept", Op::copy, match({}, "g1", {}, all), {}, errSecSuccess, {"p3"}},
        {"remove all despite limit one", Op::remove, match({}, {}, {}), {}, errSecSuccess},
        {"empty again", Op::copy, match({}, {}, {}, all), {}, errSecItemNotFound},
        {"unknown class", Op::copy, {.itemClass = KeychainItemClass(7)}, {}, errSecParam},
        {"copy with unknown match limit", Op::copy, {.matchLimit = KeychainMatchLimit(2)}, {}, errSecParam},
        {"update with unknown match limit", Op::update, {.matchLimit = KeychainMatchLimit(-1)}, {.valueData = "x"},
         errSecParam},
        {"remove with unknown match limit", Op::remove, {.matchLimit = KeychainMatchLimit(7)}, {}, errSecParam},
    };
    for (const auto& step : steps) {
        std::vector<KeychainItem> found;
        OSStatus status = errSecIO;
        switch (step.op) {
            case Op::add: status = keychain.add(step.attributes); break;
            case Op::update: status = keychain.update(step.query, step.attributes); break;
            case Op::copy: status = keychain.copyMatching(step.query, found); break;
            case Op::remove: status = keychain.remove(step.query); break;
        }
        EXPECT_EQ(status, step.expected) << step.label;
        EXPECT_EQ(secrets(found), step.found) << step.label;
    }
}

TEST_P(KeychainBackends, CopyReturnsDataOnlyWhenAsked) {
    auto& keychain = *keychain_;
    ASSERT_EQ(keychain.add({.service = "s", .account = "a", .accessible = KeychainAccessible::afterFirstUnlock,
                            .valueData = std::string("\0\xff", 2)}),
              errSecSuccess);
    std::vector<KeychainItem> found;
    ASSERT_EQ(keychain.copyMatching({.service = "s"}, found), errSecSuccess);
    const KeychainItem expected{.service = "s", .account = "a", .accessGroup = "group.default",
                                .accessible = KeychainAccessible::afterFirstUnlock};
    EXPECT_EQ(found, std::vector<KeychainItem>{expected});
    ASSERT_EQ(keychain.copyMatching({.service = "s", .returnData = true}, found), errSecSuccess);
    EXPECT_EQ(found.at(0).data, std::string("\0\xff", 2));
}

TEST(Keychain, GroupStoreIsPrivate) {
    TemporaryRoot root;
    auto backend = SQLiteKeychainBackend::forApplicationGroup(group);
    ASSERT_TRUE(backend->open());
    Keychain keychain(backend, group);
    ASSERT_EQ(keychain.add({.service = "s", .valueData = "secret"}), errSecSuccess);
    const auto file = root.path() / group / "Keychains" / "keychain.sqlite";
    EXPECT_EQ(backend->path(), file);
    EXPECT_EQ(TestSupport::modeOf(file.parent_path()), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(TestSupport::modeOf(file.string() + suffix), 0600u) << suffix;
    }
}

// Failures other than damage leave the file where it is.
void expectUnusableAndKept(const std::shared_ptr<KeychainBackend>& backend, const std::filesystem::path& kept) {
    Keychain keychain(backend);
    std::vector<KeychainItem> found;
    EXPECT_EQ(keychain.add({.service = "s"}), errSecIO);
    EXPECT_EQ(keychain.update({.service = "s"}, {.account = "b"}), errSecIO);
    EXPECT_EQ(keychain.copyMatching({.service = "s"}, found), errSecIO);
    EXPECT_EQ(keychain.remove({.service = "s"}), errSecIO);
    if (auto sqlite = std::dynamic_pointer_cast<SQLiteKeychainBackend>(backend)) {
        const auto opened = sqlite->open();
        ASSERT_NE(opened.error<KeychainError>(), nullptr);
        EXPECT_EQ(opened.error<KeychainError>()->status(), errSecIO);
    }
    if (!kept.empty()) {
        EXPECT_TRUE(std::filesystem::exists(kept));
        EXPECT_EQ(damagedFiles(kept.parent_path()), std::vector<std::string>{}) << "nothing moved aside";
    }
}

TEST(Keychain, UnusableStoresAnswerWithTheFailureStatus) {
    TemporaryRoot root;
    const auto blocker = root.path() / "file";
    std::ofstream(blocker) << "x";
    const auto folderInstead = root.path() / "folder" / "keychain.sqlite";
    std::filesystem::create_directories(folderInstead);
    const auto unreadable = root.path() / "unreadable.sqlite";
    std::ofstream(unreadable) << std::string(4096, 'x');
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);
    struct Case {
        const char* name;
        std::shared_ptr<KeychainBackend> backend;
        std::filesystem::path kept;
    };
    std::vector<Case> cases = {
        {"folder is a file", std::make_shared<SQLiteKeychainBackend>(blocker / "keychain.sqlite"), blocker},
        {"folder in place of the file", std::make_shared<SQLiteKeychainBackend>(folderInstead), folderInstead},
        {"no container", SQLiteKeychainBackend::forApplicationGroup(".."), {}},
        {"no backend", nullptr, {}},
    };
    // Permissions do not bind root; the folder case stands in there.
    if (::geteuid() != 0) cases.push_back({"unreadable file", std::make_shared<SQLiteKeychainBackend>(unreadable), unreadable});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectUnusableAndKept(c.backend, c.kept);
    }
}

// A keychain file holding one item; closing the last connection left everything in it.
std::string intactKeychain(const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    {
        Keychain keychain(std::make_shared<SQLiteKeychainBackend>(file));
        EXPECT_EQ(keychain.add({.service = "s", .account = "old", .valueData = "old secret"}), errSecSuccess);
    }
    std::filesystem::remove(file.string() + "-wal");
    std::filesystem::remove(file.string() + "-shm");
    return readFile(file);
}

std::string overwritten(std::string bytes, std::size_t offset, std::size_t count, char fill) {
    bytes.replace(offset, count, std::string(count, fill));
    return bytes;
}

TEST(Keychain, DamagedFileIsKeptAsideAndAnEmptyOneTakesItsPlace) {
    enum class Companions { none, leftBehind };
    const struct {
        const char* name;
        std::function<std::string(const std::string&)> damage;
        Companions companions = Companions::none;
    } cases[] = {
        {"garbage header", [](const std::string& b) { return overwritten(b, 0, 100, '?'); }},
        {"garbage page", [](const std::string& b) { return overwritten(b, 4096, 4096, '\xa5'); }},
        {"truncated", [](const std::string& b) { return b.substr(0, b.size() / 2 + 1000); }},
        {"random bytes",
         [](const std::string& b) {
             std::mt19937 random(7);
             std::string noise(b.size(), '\0');
             for (auto& byte : noise) byte = static_cast<char>(random());
             return noise;
         }},
        {"garbage header with log files", [](const std::string& b) { return overwritten(b, 0, 100, '?'); },
         Companions::leftBehind},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryRoot root;
        const auto file = root.path() / "Keychains" / "keychain.sqlite";
        const auto damaged = c.damage(intactKeychain(file));
        writeFile(file, damaged);
        if (c.companions == Companions::leftBehind) {
            writeFile(file.string() + "-wal", "old log");
            writeFile(file.string() + "-shm", "old index");
        }
        const auto since = Date::now();

        auto keychain = keychainIn(root.path());
        std::vector<KeychainItem> found;
        EXPECT_EQ(keychain.copyMatching({.service = "s"}, found), errSecItemNotFound) << "an empty keychain";
        EXPECT_EQ(keychain.add({.service = "s", .account = "new", .valueData = "new secret"}), errSecSuccess);
        EXPECT_EQ(keychain.copyMatching({.service = "s", .returnData = true}, found), errSecSuccess);
        EXPECT_EQ(secrets(found), std::vector<std::string>{"new secret"});

        const auto kept = damagedFiles(file.parent_path());
        ASSERT_FALSE(kept.empty());
        EXPECT_TRUE(std::regex_match(kept[0], std::regex(R"(keychain\.sqlite\.damaged-\d{8}T\d{6}Z)"))) << kept[0];
        const auto keptFile = file.parent_path() / kept[0];
        EXPECT_EQ(readFile(keptFile), damaged);
        EXPECT_EQ(TestSupport::logLines({.category = "Keychain", .level = LogLevel::fault, .containing = keptFile.string(), .since = since}).size(), 1u);
        // Log files that were there went along, never to meet the new file.
        const std::vector<std::string> keptSet{kept[0], kept[0] + "-shm", kept[0] + "-wal"};
        if (c.companions == Companions::leftBehind || kept.size() > 1) {
            EXPECT_EQ(kept, keptSet);
        }
        for (const auto& name : kept) EXPECT_EQ(TestSupport::modeOf(file.parent_path() / name), 0600u) << name;
    }
}

// Connections that find the same damage at once keep it once and share the new file.
TEST(Keychain, DamageFoundByManyConnectionsIsKeptOnce) {
    TemporaryRoot root;
    const auto file = root.path() / "Keychains" / "keychain.sqlite";
    writeFile(file, overwritten(intactKeychain(file), 0, 100, '?'));
    constexpr int connections = 4;
    std::latch start(connections);
    std::vector<std::thread> threads;
    for (int t = 0; t < connections; ++t) {
        threads.emplace_back([&, t] {
            auto keychain = keychainIn(root.path());
            start.arrive_and_wait();
            EXPECT_EQ(keychain.add({.service = "s", .account = std::to_string(t)}), errSecSuccess);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(damagedFiles(file.parent_path()).size(), 1u);
    auto keychain = keychainIn(root.path());
    std::vector<KeychainItem> found;
    EXPECT_EQ(keychain.copyMatching({.service = "s", .matchLimit = KeychainMatchLimit::all}, found), errSecSuccess);
    EXPECT_EQ(found.size(), static_cast<std::size_t>(connections)) << "every add went to the one new file";
}

TEST_P(KeychainBackends, ConnectionsRaceForOneIdentity) {
    std::atomic<int> added{0}, duplicates{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            auto keychain = connection();
            for (int i = 0; i < 20; ++i) {
                const auto status = keychain.add({.service = "s", .account = std::to_string(i), .valueData = "t"});
                (status == errSecSuccess ? added : duplicates)++;
                EXPECT_TRUE(status == errSecSuccess || status == errSecDuplicateItem) << t << ": " << status;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(added.load(), 20);
    EXPECT_EQ(duplicates.load(), 60);
}

// Which back end a keychain gets, and items moving into the Secret Service.
namespace choice {

constexpr const char* group = "group.test.choice";

const KeychainAttributes credential{.service = "Quillo Credential", .account = "example.com", .accessGroup = group,
                                    .synchronizable = true, .accessible = KeychainAccessible::afterFirstUnlock,
                                    .valueData = "archived credential"};
const KeychainQuery credentialQuery{.service = "Quillo Credential", .account = "example.com", .returnData = true};

Keychain fileStore() { return Keychain(SQLiteKeychainBackend::forApplicationGroup(group), group); }
Keychain secretService() { return Keychain(std::make_shared<SecretServiceKeychainBackend>("session"), group); }

bool logged(LogLevel level, const std::string& text, Date since) {
    return !TestSupport::logLines({.category = "Keychain", .level = level, .containing = text, .since = since}).empty();
}

// What a process outside the session sees, as the child of the tests below.
enum class Before { nothingMoved, itemsMoved };

const TestSupport::ChildRole withoutSessionBus("keychain-without-session-bus", [](const std::string& before) {
    const auto since = Date::now();
    Keychain keychain(makeKeychainBackend({.groupIdentifier = group}), group);
    std::vector<KeychainItem> found;
    EXPECT_EQ(keychain.copyMatching(credentialQuery, found), errSecItemNotFound);
    if (before == "moved") {
        EXPECT_TRUE(logged(LogLevel::error, "in the Secret Service (1 items moved on ", since));
        EXPECT_TRUE(logged(LogLevel::error, "which this process cannot reach", since));
    } else {
        EXPECT_TRUE(logged(LogLevel::notice, "file store of group.test.choice: neither DBUS_SESSION_BUS_ADDRESS", since));
        EXPECT_EQ(keychain.add(credential), errSecSuccess) << "the file store serves";
        EXPECT_EQ(keychain.copyMatching(credentialQuery, found), errSecSuccess);
    }
});

int runWithoutSessionBus(const TemporaryRoot& root, Before before) {
    return ChildProcess::play({.role = "keychain-without-session-bus",
                                .environment = TestSupport::withoutSessionBus(),
                                .containerRoot = root.path(),
                                .argument = before == Before::itemsMoved ? "moved" : "fresh"})
        .wait();
}

TEST(KeychainChoice, WithoutSessionBusTheFileStoreServesAndSaysWhy) {
    TemporaryRoot root;
    EXPECT_EQ(runWithoutSessionBus(root, Before::nothingMoved), 0);
}

// Upgrading loses no sign-in: the file's items go to the Secret Service, the file's
// data winning over an older copy there, and leave the file.
TEST(KeychainChoice, FileItemsMoveIntoTheSecretService) {
    QUILLO_REQUIRE_SESSION_BUS();
    enum class There { nothing, olderCopy };
    for (const auto there : {There::nothing, There::olderCopy}) {
        SCOPED_TRACE(there == There::nothing ? "nothing there" : "an older copy there");
        TemporaryRoot root;
        auto service = secretService();
        ASSERT_NE(service.remove({}), errSecIO);
        if (there == There::olderCopy) {
            auto older = credential;
            older.valueData = "older credential";
            ASSERT_EQ(service.add(older), errSecSuccess);
        }
        ASSERT_EQ(fileStore().add(credential), errSecSuccess);

        const auto since = Date::now();
        Keychain chosen(makeKeychainBackend({.groupIdentifier = group, .collection = "session"}), group);
        EXPECT_TRUE(logged(LogLevel::notice, "Moved 1 keychain items from ", since));
        std::vector<KeychainItem> found;
        ASSERT_EQ(chosen.copyMatching(credentialQuery, found), errSecSuccess);
        EXPECT_EQ(found.at(0).data, credential.valueData);
        EXPECT_EQ(found.at(0).accessible, KeychainAccessible::afterFirstUnlock);
        EXPECT_EQ(fileStore().copyMatching(credentialQuery, found), errSecItemNotFound) << "left the file";
        EXPECT_EQ(runWithoutSessionBus(root, Before::itemsMoved), 0);
        EXPECT_EQ(service.remove({}), errSecSuccess);
    }
}

// A keyring without the collection asked for would prompt to create one: the file store serves.
TEST(KeychainChoice, MissingCollectionLeavesTheFileStore) {
    QUILLO_REQUIRE_SESSION_BUS();
    TemporaryRoot root;
    const auto since = Date::now();
    const auto backend = makeKeychainBackend({.groupIdentifier = group, .collection = "no-such-collection"});
    EXPECT_NE(std::dynamic_pointer_cast<SQLiteKeychainBackend>(backend), nullptr);
    EXPECT_TRUE(logged(LogLevel::notice, "no \"no-such-collection\" collection", since));
}

}  // namespace choice

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/KeychainError.h"
#include "Platform/keychain/SQLiteKeychainBackend.h"
#include "tests/platform/StoreTestSupport.h"

namespace {

using namespace Platform;
using StoreTestSupport::TemporaryRoot;

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

TEST(Keychain, StatusesFollowTheItemRules) {
    TemporaryRoot root;
    auto keychain = keychainIn(root.path());
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

TEST(Keychain, CopyReturnsDataOnlyWhenAsked) {
    TemporaryRoot root;
    auto keychain = keychainIn(root.path());
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
    EXPECT_EQ(StoreTestSupport::modeOf(file.parent_path()), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(StoreTestSupport::modeOf(file.string() + suffix), 0600u) << suffix;
    }
}

TEST(Keychain, UnusableStoresAnswerWithTheFailureStatus) {
    TemporaryRoot root;
    const auto blocker = root.path() / "file";
    std::ofstream(blocker) << "x";
    const auto corrupt = root.path() / "corrupt.sqlite";
    const std::string garbage(4096, 'x');
    std::ofstream(corrupt, std::ios::binary) << garbage;
    const struct {
        const char* name;
        std::shared_ptr<KeychainBackend> backend;
    } cases[] = {
        {"folder is a file", std::make_shared<SQLiteKeychainBackend>(blocker / "keychain.sqlite")},
        {"not a database", std::make_shared<SQLiteKeychainBackend>(corrupt)},
        {"no container", SQLiteKeychainBackend::forApplicationGroup("..")},
        {"no backend", nullptr},
    };
    for (const auto& c : cases) {
        Keychain keychain(c.backend);
        std::vector<KeychainItem> found;
        EXPECT_EQ(keychain.add({.service = "s"}), errSecIO) << c.name;
        EXPECT_EQ(keychain.update({.service = "s"}, {.account = "b"}), errSecIO) << c.name;
        EXPECT_EQ(keychain.copyMatching({.service = "s"}, found), errSecIO) << c.name;
        EXPECT_EQ(keychain.remove({.service = "s"}), errSecIO) << c.name;
        if (auto sqlite = std::dynamic_pointer_cast<SQLiteKeychainBackend>(c.backend)) {
            const auto opened = sqlite->open();
            ASSERT_NE(opened.error<KeychainError>(), nullptr) << c.name;
            EXPECT_EQ(opened.error<KeychainError>()->status(), errSecIO) << c.name;
        }
    }
    std::ifstream in(corrupt, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
}

TEST(Keychain, ConnectionsRaceForOneIdentity) {
    TemporaryRoot root;
    std::atomic<int> added{0}, duplicates{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            auto keychain = keychainIn(root.path());  // a connection of its own
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

TEST(Keychain, DISABLED_ChildAddsItem) {
    if (!StoreTestSupport::enterChildRoot()) GTEST_SKIP();
    auto backend = SQLiteKeychainBackend::forApplicationGroup(group);
    Keychain keychain(backend, group);
    ASSERT_EQ(keychain.add({.service = "s", .account = "child", .valueData = "from child"}), errSecSuccess);
}

TEST(Keychain, AnotherProcessAddsAndThisOneCopies) {
    TemporaryRoot root;
    Keychain keychain(SQLiteKeychainBackend::forApplicationGroup(group), group);
    std::vector<KeychainItem> found;
    ASSERT_EQ(keychain.copyMatching({.service = "s"}, found), errSecItemNotFound);
    auto child = StoreTestSupport::startChildTest("Keychain.DISABLED_ChildAddsItem", root.path());
    ASSERT_EQ(child.wait(), 0);
    ASSERT_EQ(keychain.copyMatching({.service = "s", .accessGroup = group, .returnData = true}, found), errSecSuccess);
    EXPECT_EQ(secrets(found), std::vector<std::string>{"from child"});
}

}  // namespace

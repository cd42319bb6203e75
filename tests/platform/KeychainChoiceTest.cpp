#include <gtest/gtest.h>

#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/KeychainBackendChoice.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "Platform/keychain/internal/SecretServiceKeychainBackend.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/LogLines.h"
#include "tests/support/SessionBusTestSupport.h"

namespace {

using namespace Platform;
using detail::SecretServiceKeychainBackend;
using detail::SQLiteKeychainBackend;
using StoreTestSupport::TemporaryRoot;
using TestSupport::ChildProcess;

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

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>

#include "Common/auth/SharedConstants.h"
#include "Common/local/LocalDatabaseManager.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using Common::LocalDatabaseError;
using Common::LocalDatabaseManager;
using Action = Common::TarnEventActionType;
using StoreTestSupport::TemporaryRoot;
using TestSupport::ChildProcess;

std::filesystem::path containerIn(const TemporaryRoot& root) {
    auto container = root.path() / Common::appGroupIdentifier;
    std::filesystem::create_directories(container);
    return container;
}

TEST(LocalDatabaseManager, AnswersExactlyTheLoggedTriples) {
    TemporaryRoot root;
    LocalDatabaseManager store(containerIn(root));
    EXPECT_FALSE(store.activityExists(7, "abc", Action::rename)) << "a fresh store knows nothing";

    store.loggingActivity(7, "abc", Action::rename);
    store.loggingActivity(7, "abc", Action::rename);
    const struct {
        const char* name;
        std::int64_t user;
        const char* item;
        Action action;
        bool exists;
    } cases[] = {
        {"the logged triple", 7, "abc", Action::rename, true},
        {"another action", 7, "abc", Action::move, false},
        {"another user", 8, "abc", Action::rename, false},
        {"another item", 7, "abd", Action::rename, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.activityExists(c.user, c.item, c.action), c.exists);
    }
    EXPECT_TRUE(std::filesystem::exists(root.path() / Common::appGroupIdentifier / "sqlite.db"));
}

TEST(LocalDatabaseManager, StartFailuresAreTypedErrors) {
    TemporaryRoot root;
    try {
        LocalDatabaseManager store(root.path() / "missing" / "container");
        FAIL() << "opened a database in a missing folder";
    } catch (const LocalDatabaseError& error) {
        EXPECT_EQ(error.code(), LocalDatabaseError::Code::connectionFailed);
        EXPECT_TRUE(error.errorDescription()->starts_with("Failed to connect SQLite database: "));
    }
}

// The other process: its shared store on the parent's root.
const TestSupport::ChildRole looksForTheParentsRow("activity-store-other-process", [](const std::string& root) {
    // No container can be made under /proc: the store does not start, and says why.
    Platform::ApplicationGroupContainer::setRootDirectory(std::filesystem::path("/proc/quillo-none"));
    try {
        (void)LocalDatabaseManager::shared();
        FAIL() << "started without a container";
    } catch (const LocalDatabaseError& error) {
        EXPECT_EQ(error.code(), LocalDatabaseError::Code::containerUnavailable);
        EXPECT_EQ(error.errorDescription(), "Failed to get container url");
    }
    Platform::ApplicationGroupContainer::setRootDirectory(std::filesystem::path(root));
    auto& store = LocalDatabaseManager::shared();
    EXPECT_FALSE(store.activityExists(7, "abc", Action::rename));
    store.loggingActivity(9, "xyz", Action::trash);
    EXPECT_TRUE(store.activityExists(9, "xyz", Action::trash));
});

TEST(LocalDatabaseManager, AnotherProcessSeesNoneOfTheRows) {
    TemporaryRoot root;
    LocalDatabaseManager store(containerIn(root));
    store.loggingActivity(7, "abc", Action::rename);

    EXPECT_EQ(ChildProcess::play({.role = "activity-store-other-process", .argument = root.path().string()}).wait(), 0);
    EXPECT_FALSE(store.activityExists(9, "xyz", Action::trash)) << "the child's row stays in the child";
}

}  // namespace

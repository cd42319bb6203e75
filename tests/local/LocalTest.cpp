#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "Common/auth/SharedConstants.h"
#include "Common/local/AppSupport.h"
#include "Common/local/LocalDatabaseManager.h"
#include "Common/local/LogExport.h"
#include "Common/local/NotificationPermission.h"
#include "Common/local/Transfer.h"
#include "Platform/files/FileError.h"
#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"
#include "tests/platform/StoreTestSupport.h"

namespace {

using Platform::Bundle;
using Status = Platform::UserNotificationAuthorizationStatus;
using TestSupport::readFile;
using Action = Common::TarnEventActionType;
using Common::LocalDatabaseError;
using Common::LocalDatabaseManager;
using Common::Transfer;
using Platform::ArchiveError;
using StoreTestSupport::TemporaryRoot;
using TestSupport::ChildProcess;

TEST(AppSupport, BundlePropertiesFallBack) {
    const struct {
        const char* name;
        std::optional<Bundle> bundle;
        std::array<const char*, 4> expected;  // identifier, app name, version, build
    } cases[] = {
        {"no bundle", std::nullopt,
         {"(unknown bundle identifier)", "(unknown app name)", "(unknown app version)", "(unknown build number)"}},
        {"no info dictionary", Bundle{"com.example.app", {}},
         {"com.example.app", "(unknown app name)", "(unknown app version)", "(unknown build number)"}},
        {"everything present",
         Bundle{"com.example.app", {{"CFBundleName", "App"}, {"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "42"}}},
         {"com.example.app", "App", "2.1", "42"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Common::identifier(c.bundle), c.expected[0]);
        EXPECT_EQ(Common::appName(c.bundle), c.expected[1]);
        EXPECT_EQ(Common::version(c.bundle), c.expected[2]);
        EXPECT_EQ(Common::build(c.bundle), c.expected[3]);
    }
}

struct FixedSettings : Platform::UserNotificationBackend {
    explicit FixedSettings(Status status) : status(status) {}
    void getNotificationSettings(std::function<void(Platform::UserNotificationSettings)> completion) override {
        completion({.authorizationStatus = status});
    }
    Status status;
};

TEST(AppSupport, OnlyPlainAuthorizationCountsAsAuthorized) {
    const struct {
        const char* name;
        std::optional<Status> status;  // none: no back end
        bool notAuthorized;
    } cases[] = {
        {"no back end", std::nullopt, true},          {"not determined", Status::notDetermined, true},
        {"denied", Status::denied, true},             {"provisional", Status::provisional, true},
        {"ephemeral", Status::ephemeral, true},       {"authorized", Status::authorized, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Platform::UserNotificationCenter center;
        if (c.status) center.setBackend(std::make_shared<FixedSettings>(*c.status));
        auto answer = Common::isNotAuthorized(center);
        ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(answer.get(), c.notAuthorized);
    }
}

class LogExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        Bundle::setMain(Bundle{"com.example.host", {}});
        Platform::LogStore::shared().clear();
    }
    void TearDown() override {
        Bundle::setMain(std::nullopt);
        Platform::LogStore::shared().clear();
        ::chmod(folder_.path().c_str(), 0700);
    }
    std::filesystem::path target() const { return folder_.path() / Common::exportLogFilename; }

    TestSupport::TemporaryFolder folder_;
};

TEST_F(LogExportTest, WritesOwnSubsystemLinesInTheirFormat) {
    const Platform::Logger own(Platform::Logger::defaultSubsystem(), "Connection");
    const Platform::Logger framework("com.example.framework", "Connection");
    own.error("Request failed: %{public}s", "timeout");
    framework.error("framework line");
    own.notice("token %{private}s for %{public}s", "s3cr3t", "alice");

    Common::exportOSLog(target());
    const std::string text = readFile(target());
    EXPECT_EQ(text.find("framework line"), std::string::npos);
    EXPECT_EQ(text.find("s3cr3t"), std::string::npos);
    EXPECT_FALSE(text.ends_with('\n'));
    const std::regex lines(
        R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[Connection\] \[ERROR\] Request failed: timeout)"
        "\n"
        R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[Connection\] \[NOTICE\] token <private> for alice)");
    EXPECT_TRUE(std::regex_match(text, lines)) << text;
}

TEST_F(LogExportTest, WithoutEntriesWritesAnEmptyFile) {
    { std::ofstream(target()) << "old"; }
    Common::exportOSLog(target());
    EXPECT_TRUE(std::filesystem::exists(target()));
    EXPECT_EQ(readFile(target()), "");
}

TEST_F(LogExportTest, FailedWriteKeepsTheOldFile) {
    { std::ofstream(target()) << "old"; }
    Platform::Logger(Platform::Logger::defaultSubsystem(), "Connection").error("new");
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0555), 0);
    // Permissions do not bind root, so the export runs as nobody there.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(2);
        try {
            Common::exportOSLog(target());
        } catch (const Platform::FileError&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the export throws a file error";
    EXPECT_EQ(readFile(target()), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1) << "no temporary file is left";
}

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

// An archive of one "Transfer" object with the given values.
std::string transferArchive(const std::string& values) {
    return R"({"$archiver":"QuilloKeyedArchive","$version":1,"$root":{"$class":"Transfer","$values":{)" + values + "}}}";
}

// Transfers cross processes as archives (ExtensionServiceTest); here, what a bad one does.
TEST(Transfer, ArchiveClassAndDecodingThatStopsAtTheFirstBadKey) {
    const auto archive = Platform::KeyedArchiver::archivedData(Transfer("t", "p", "n", Common::TarnEventActionType::trash), true);
    EXPECT_NE(archive.find(R"("$class":"Transfer")"), std::string::npos);
    const struct {
        const char* name;
        std::string values;
        const char* message;  // null: decodes; empty: no object and no message
        const char* action;
    } cases[] = {
        {"unknown action kept", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"name":{"string":"n"},"action":{"string":"teleport"})",
         nullptr, "teleport"},
        {"missing parent", R"("transfer_id":{"string":"t"},"name":{"string":"n"},"action":{"string":"move"})",
         "Could not deseralise parent_id!", nullptr},
        {"numeric transfer id", R"("transfer_id":{"integer":5},"parent_id":{"string":"p"},"name":{"string":"n"},"action":{"string":"move"})",
         "Could not deserialise transfer_id!", nullptr},
        {"missing name", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"action":{"string":"move"})",
         "Could not deseralise name!", nullptr},
        {"missing action", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"name":{"string":"n"})", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const auto transfer = Platform::KeyedUnarchiver::unarchivedObject<Transfer>(transferArchive(c.values));
            if (c.message) {
                EXPECT_STREQ(c.message, "") << "a failure without a message";
                EXPECT_FALSE(transfer);
            } else {
                ASSERT_TRUE(transfer);
                EXPECT_EQ(transfer->action(), c.action);
            }
        } catch (const ArchiveError& error) {
            ASSERT_TRUE(c.message && *c.message) << error.debugDescription();
            EXPECT_NE(error.debugDescription().find(c.message), std::string::npos) << error.debugDescription();
        }
    }
}

}  // namespace

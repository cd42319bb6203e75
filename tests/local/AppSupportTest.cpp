#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "Common/local/AppSupport.h"
#include "Common/local/LogExport.h"
#include "Common/local/NotificationPermission.h"
#include "Platform/files/FileError.h"
#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using Platform::Bundle;
using Status = Platform::UserNotificationAuthorizationStatus;
using TestSupport::readFile;

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

}  // namespace

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"

namespace {

// The process identifier is kept rather than asked for on every entry: a forked child
// must still stamp its own.
TEST(LoggerProcess, ForkedChildStampsItsOwnIdentifier) {
    const Platform::Logger logger("com.example.test", "fork");
    logger.notice("parent");
    ASSERT_EQ(Platform::LogStore::shared().entries().back().processIdentifier, ::getpid());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        logger.notice("child");
        const auto entries = Platform::LogStore::shared().entries();
        const auto& last = entries.back();
        ::_exit(last.composedMessage == "child" && last.processIdentifier == ::getpid() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    Platform::LogStore::shared().clear();
}

}  // namespace

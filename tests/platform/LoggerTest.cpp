#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "Platform/bundle/Bundle.h"
#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"

namespace {

using Platform::LogArgument;
using Platform::LogEntry;
using Platform::LogLevel;
using Platform::LogStore;

struct ComposeCase {
    const char* format;
    std::vector<LogArgument> arguments;
    const char* expected;
};

// Literals and numbers only: text arguments are views.
template <class... Args>
std::vector<LogArgument> args(const Args&... values) {
    return {Platform::makeLogArgument(values)...};
}

TEST(LogMessage, FillsPlaceholdersInOrder) {
    const ComposeCase cases[] = {
        {"%{public}s|%{private}s", args("shown", "kept"), "shown|kept"},
        {"%{public}d %{public}ld %d", args(42, -7L, true), "42 -7 1"},
        {"%{public}f", args(1.5f), "1.500000"},
        {"%s %d %ld %lld %u %lu %f %@", args("a", 1, -2L, 3LL, 4u, 5UL, 0.25, "obj"), "a 1 -2 3 4 5 0.250000 obj"},
        {"%{iec-bytes,public}ld|%{iec-bytes}ld", args(512, 1536), "512 bytes|1.5 KiB"},
        {"%{public, iec-bytes}lu", args(3ULL << 30), "3.0 GiB"},
        {"%{iec-bytes}ld", args(5LL << 40), "5.0 TiB"},
        {"%5d|%-3s|%03d|%.2f|%.2s", args(7, "a", -4, 3.14159, "abc"), "    7|a  |-04|3.14|ab"},
        {"100%% done", args(), "100% done"},
        {"%s and %s", args("a"), "a and <missing>"},
        {"%d", args(1, 2), "1"},
        {"%n%s%s", args(), "%n<missing><missing>"},
        {"%x %s %", args("a"), "%x a %"},
        {"%{public %s", args("a"), "%{public a"},
        {"%99999d", args(1), "%99999d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Platform::composeLogMessage(c.format, c.arguments), c.expected) << c.format;
    }
}

TEST(LogMessage, RedactsPrivateValuesOutsideTheProcess) {
    const struct {
        const char* name;
        const char* format;
        std::vector<LogArgument> arguments;
        const char* redacted;  // the composed message keeps every value
    } cases[] = {
        {"marked private text", "user %{private}s signed in", args("alice"), "user <private> signed in"},
        {"marked public text", "user %{public}s signed in", args("alice"), "user alice signed in"},
        {"unmarked text is private", "open %s and %@", args("a.txt", "obj"), "open <private> and <private>"},
        {"unmarked numbers are public", "%d tries, %f s, %lu", args(3, 0.5, 7UL), "3 tries, 0.500000 s, 7"},
        {"marked private number", "%{private}d|%{sensitive}ld", args(42, 7L), "<private>|<private>"},
        {"bytes without public stay public", "%{iec-bytes}ld", args(1536), "1.5 KiB"},
        {"bytes marked private", "%{iec-bytes, private}ld of %{iec-bytes,public}ld", args(2048, 512),
         "<private> of 512 bytes"},
        {"private wins over public", "%{public,private}s", args("x"), "<private>"},
        {"text under a number conversion", "%d", args("secret"), "<private>"},
        {"empty private text still marked", "[%{private}s][%s]", args("", ""), "[<private>][<private>]"},
        {"width and precision hidden too", "%-8s|%.2s|", args("ab", "abc"), "<private>|<private>|"},
        {"mixed, in order", "%{public}s: %s (%{public}d)", args("copy", "/home/u/x", 2), "copy: <private> (2)"},
        {"missing argument is not a value", "%{private}s", args(), "<missing>"},
        {"a private-looking literal is left alone", "100%% <private> %{public}s", args("ok"),
         "100% <private> ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto composed = Platform::composeLogMessageMarkingPrivate(c.format, c.arguments);
        EXPECT_EQ(composed.text, Platform::composeLogMessage(c.format, c.arguments));
        EXPECT_EQ(Platform::redactedLogMessage(composed.text, composed.privateRanges), c.redacted);
    }
}

TEST(LogMessage, RedactionNeverShowsMoreThanTheRanges) {
    using Ranges = std::vector<Platform::LogTextRange>;
    const struct {
        const char* name;
        Ranges ranges;
        const char* redacted;
    } cases[] = {
        {"none", {}, "abcdef"},
        {"overlapping ranges merge", {{1, 3}, {2, 3}}, "a<private>f"},
        {"a range past the end is clipped", {{4, 100}}, "abcd<private>"},
        {"a range starting past the end marks the end", {{50, 2}}, "abcdef<private>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Platform::redactedLogMessage("abcdef", c.ranges), c.redacted);
    }
}

LogEntry entryAt(double seconds) {
    return LogEntry{.date = Platform::Date{seconds}, .composedMessage = std::to_string(seconds)};
}

std::vector<double> datesOf(const std::vector<LogEntry>& entries) {
    std::vector<double> dates;
    for (const auto& entry : entries) dates.push_back(entry.date.timeIntervalSince1970);
    return dates;
}

TEST(LogStore, KeepsNewestEntriesWithinCapacity) {
    LogStore store(3);
    for (int i = 1; i <= 5; ++i) store.append(entryAt(i));
    EXPECT_EQ(datesOf(store.entries()), (std::vector<double>{3, 4, 5}));
    EXPECT_EQ(datesOf(store.entries(Platform::Date{4})), (std::vector<double>{4, 5}));

    store.setCapacity(2);
    store.append(entryAt(6));
    EXPECT_EQ(datesOf(store.entries()), (std::vector<double>{5, 6}));
    store.clear();
    EXPECT_TRUE(store.entries().empty());
}

TEST(LogStore, StaysBoundedUnderConcurrentAppends) {
    LogStore store(50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) store.append(entryAt(i));
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(store.entries().size(), 50u);
}

TEST(Logger, RecordsEntriesInTheSharedStore) {
    LogStore::shared().clear();
    const Platform::Logger logger("com.example.test", "sync");
    logger.error("failed %{public}s after %d tries", std::string("upload"), 3);
    logger.debug("%s", static_cast<const char*>(nullptr));

    const auto entries = LogStore::shared().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].subsystem, "com.example.test");
    EXPECT_EQ(entries[0].category, "sync");
    EXPECT_EQ(entries[0].level, LogLevel::error);
    EXPECT_EQ(entries[0].composedMessage, "failed upload after 3 tries");
    EXPECT_EQ(entries[0].processIdentifier, ::getpid());
    EXPECT_FALSE(entries[0].process.empty());
    EXPECT_EQ(entries[1].level, LogLevel::debug);
    EXPECT_EQ(entries[1].composedMessage, "(null)");
    LogStore::shared().clear();
}

// The store keeps values for the process; the stderr sink leaves the process and does not.
TEST(Logger, StderrSinkWritesRedactedMessages) {
    LogStore::shared().clear();
    const Platform::Logger logger("com.example.test", "auth");
    LogStore::shared().setStderrSink(true);
    testing::internal::CaptureStderr();
    logger.error("sign-in of %{private}s with %s failed %{public}s", "alice", std::string("p@ss"), "twice");
    const std::string written = testing::internal::GetCapturedStderr();
    LogStore::shared().setStderrSink(false);

    EXPECT_TRUE(written.ends_with(
        "[com.example.test:auth] [Error] sign-in of <private> with <private> failed twice\n")) << written;
    EXPECT_EQ(written.find("alice"), std::string::npos);
    const auto entries = LogStore::shared().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].composedMessage, "sign-in of alice with p@ss failed twice");
    EXPECT_EQ(entries[0].redactedMessage(), "sign-in of <private> with <private> failed twice");
    LogStore::shared().clear();
}

TEST(Logger, DefaultSubsystemFollowsMainBundle) {
    EXPECT_FALSE(Platform::Bundle::main().has_value());
    EXPECT_EQ(Platform::Logger::defaultSubsystem(), "(unknown bundle identifier)");

    Platform::Bundle::setMain(Platform::Bundle{"com.example.app", {{"Version", "1.2"}}});
    EXPECT_EQ(Platform::Logger::defaultSubsystem(), "com.example.app");
    EXPECT_EQ(Platform::Bundle::main()->objectForInfoDictionaryKey("Version"), "1.2");
    EXPECT_EQ(Platform::Bundle::main()->objectForInfoDictionaryKey("Missing"), std::nullopt);
    Platform::Bundle::setMain(std::nullopt);
}

}  // namespace

#include <gtest/gtest.h>

#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Platform/bundle/Bundle.h"
#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"
#include "tests/support/ChildProcess.h"

namespace {

using Platform::LogArgument;
using Platform::LogEntry;
using Platform::LogLevel;
using Platform::LogStore;
using TestSupport::ChildProcess;

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

// The store keeps every value for the process; the stderr sink leaves the process and
// writes private ones redacted.
TEST(Logger, RecordsEntriesInTheStoreAndRedactedOnStderr) {
    LogStore::shared().clear();
    const Platform::Logger logger("com.example.test", "auth");
    LogStore::shared().setStderrSink(true);
    testing::internal::CaptureStderr();
    logger.error("sign-in of %{private}s with %s failed %{public}s after %d tries", "alice", std::string("p@ss"), "twice", 3);
    const std::string written = testing::internal::GetCapturedStderr();
    LogStore::shared().setStderrSink(false);
    logger.debug("%s", static_cast<const char*>(nullptr));

    EXPECT_TRUE(written.ends_with(
        "[com.example.test:auth] [Error] sign-in of <private> with <private> failed twice after 3 tries\n")) << written;
    EXPECT_EQ(written.find("alice"), std::string::npos);
    const auto entries = LogStore::shared().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].subsystem, "com.example.test");
    EXPECT_EQ(entries[0].category, "auth");
    EXPECT_EQ(entries[0].level, LogLevel::error);
    EXPECT_EQ(entries[0].composedMessage, "sign-in of alice with p@ss failed twice after 3 tries");
    EXPECT_EQ(entries[0].redactedMessage(), "sign-in of <private> with <private> failed twice after 3 tries");
    EXPECT_FALSE(entries[0].process.empty());
    EXPECT_EQ(entries[1].level, LogLevel::debug);
    EXPECT_EQ(entries[1].composedMessage, "(null)");
    LogStore::shared().clear();
}

// The process identifier is kept rather than asked for on every entry: a forked child
// must still stamp its own.
TEST(Logger, ForkedChildStampsItsOwnProcessIdentifier) {
    const Platform::Logger logger("com.example.test", "fork");
    logger.notice("parent");
    ASSERT_EQ(LogStore::shared().entries().back().processIdentifier, ::getpid());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        logger.notice("child");
        const auto last = LogStore::shared().entries().back();
        ::_exit(last.composedMessage == "child" && last.processIdentifier == ::getpid() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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

// The next datagram on `fd` as its fields (the plain NAME=value form), within 10 s.
std::map<std::string, std::string> receiveFields(int fd) {
    pollfd entry{.fd = fd, .events = POLLIN, .revents = 0};
    if (::poll(&entry, 1, 10'000) != 1) return {};
    std::string buffer(65536, '\0');
    const auto got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) return {};
    buffer.resize(static_cast<std::size_t>(got));
    std::map<std::string, std::string> fields;
    for (std::size_t start = 0; start < buffer.size();) {
        const auto end = std::min(buffer.find('\n', start), buffer.size());
        const auto line = buffer.substr(start, end - start);
        if (const auto equals = line.find('='); equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return fields;
}

// In a mount namespace of its own, /run is a fresh tmpfs where this test plays the
// journal: the sink's entries land on its socket.
const TestSupport::ChildRole journalRole("journal-receives-fields", [](const std::string&) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) {
        ::_exit(ChildProcess::setupFailed);
    }
    ASSERT_EQ(::mkdir("/run/systemd", 0755), 0);
    ASSERT_EQ(::mkdir("/run/systemd/journal", 0755), 0);
    const int journal = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = "/run/systemd/journal/socket"};
    ASSERT_EQ(::bind(journal, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    enum class Sink { off, on };
    const struct {
        Sink sink;
        LogLevel level;
        const char* priority;
        const char* levelField;
    } cases[] = {
        {Sink::off, LogLevel::fault, nullptr, nullptr},
        {Sink::on, LogLevel::debug, "7", "Debug"},
        {Sink::on, LogLevel::notice, "5", "Notice"},
        {Sink::on, LogLevel::error, "3", "Error"},
        {Sink::on, LogLevel::fault, "2", "Fault"},
    };
    const Platform::Logger logger("com.example.journal", "Sink");
    for (const auto& c : cases) {
        LogStore::shared().setJournalSink(c.sink == Sink::on);
        logger.log(c.level, "token %{private}s for %{public}s, level %{public}s", "secret", "user",
                   std::string(Platform::title(c.level)));
        if (c.sink == Sink::off) continue;  // the next datagram must be the next case's
        SCOPED_TRACE(c.levelField);
        const auto fields = receiveFields(journal);
        EXPECT_EQ(fields.count("MESSAGE") ? fields.at("MESSAGE") : "",
                  std::string("token <private> for user, level ") + c.levelField);
        const std::map<std::string, std::string> expected{
            {"PRIORITY", c.priority}, {"QUILLO_SUBSYSTEM", "com.example.journal"},
            {"QUILLO_CATEGORY", "Sink"}, {"QUILLO_LEVEL", c.levelField}};
        for (const auto& [name, value] : expected) {
            EXPECT_EQ(fields.count(name) ? fields.at(name) : "<missing>", value) << name;
        }
    }
    LogStore::shared().setJournalSink(false);
    ::close(journal);
});

TEST(LogStoreJournal, EntriesCarryTheirFields) {
    const int code = ChildProcess::play({.role = "journal-receives-fields"}).wait();
    if (code == ChildProcess::setupFailed) GTEST_SKIP() << "no mount namespace for a stand-in journal";
    EXPECT_EQ(code, 0);
}

}  // namespace

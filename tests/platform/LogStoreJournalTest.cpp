#include <gtest/gtest.h>

#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>

#include "Platform/log/LogStore.h"
#include "Platform/log/Logger.h"
#include "tests/support/ChildProcess.h"

namespace {

using Platform::LogLevel;
using TestSupport::ChildProcess;

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
        Platform::LogStore::shared().setJournalSink(c.sink == Sink::on);
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
    Platform::LogStore::shared().setJournalSink(false);
    ::close(journal);
});

TEST(LogStoreJournal, EntriesCarryTheirFields) {
    const int code = ChildProcess::play({.role = "journal-receives-fields"}).wait();
    if (code == ChildProcess::setupFailed) GTEST_SKIP() << "no mount namespace for a stand-in journal";
    EXPECT_EQ(code, 0);
}

}  // namespace

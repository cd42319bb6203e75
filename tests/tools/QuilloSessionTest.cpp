// The file commands of quillo driven as a user would, against the real development server.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/DevServerProcess.h"
#include "tests/tools/QuilloRunner.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::QuilloOutcome;

// Exit codes as tools/quillo/README.md documents them.
enum Exit : int { ok = 0, refused = 4, localFile = 7 };

constexpr std::size_t partSize = 64 * 1024;

std::string randomBytes(std::size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

const TestSupport::Environment smallParts{{"QUILLO_UPLOAD_PART_SIZE", std::to_string(partSize)}};

TEST(QuilloSession, FileCommandsAgainstTheDevServer) {
    if (!TestSupport::DevServerProcess::available()) GTEST_SKIP() << "quillo-devserver not built";
    TestSupport::DevServerProcess server;
    ASSERT_FALSE(server.url().empty());
    TestSupport::TemporaryHome home;
    // Six parts, the last one short.
    const auto payload = randomBytes(5 * partSize + 1000);
    const auto local = home.path() / "payload.bin";
    std::ofstream(local, std::ios::binary) << payload;
    std::map<std::string, std::string> ids;

    const struct Step {
        const char* name;
        std::vector<std::string> args;  // "{folder}" and the like name an id an earlier step kept
        int exitCode;
        std::function<void(const nlohmann::json&)> check;
    } steps[] = {
        {"mkdir", {"mkdir", "0", "session"}, ok, [&](const auto& item) { ids["folder"] = item.at("id").template get<std::string>(); }},
        {"mkdir a destination", {"mkdir", "0", "archive"}, ok, [&](const auto& item) { ids["archive"] = item.at("id").template get<std::string>(); }},
        {"upload in several parts", {"upload", local.string(), "{folder}"}, ok,
         [&](const auto& item) {
             ids["file"] = item.at("id").template get<std::string>();
             EXPECT_EQ(item.at("parts"), 6);
             EXPECT_EQ(item.at("size"), payload.size());
         }},
        {"stat", {"stat", "{file}"}, ok, [&](const auto& item) { EXPECT_EQ(item.at("parent").at("id"), ids["folder"]); }},
        {"rename", {"rename", "{file}", "renamed.bin"}, ok, [](const auto& item) { EXPECT_EQ(item.at("name"), "renamed.bin"); }},
        {"mv", {"mv", "{file}", "{archive}"}, ok, [&](const auto& item) { EXPECT_EQ(item.at("parent_id"), ids["archive"]); }},
        {"search", {"search", "renamed", "--folder", "{archive}"}, ok,
         [&](const auto& found) {
             ASSERT_EQ(found.at("entries").size(), 1u);
             EXPECT_EQ(found.at("entries")[0].at("id"), ids["file"]);
         }},
        {"download", {"download", "{file}", (home.path() / "copy.bin").string()}, ok,
         [&](const auto& file) {
             EXPECT_EQ(file.at("bytes"), payload.size());
             EXPECT_TRUE(TestSupport::readFile(home.path() / "copy.bin") == payload);
         }},
        {"rm", {"rm", "{file}"}, ok, [](const auto& item) { EXPECT_EQ(item.at("trashed"), true); }},
        {"events", {"events"}, ok,
         [&](const auto& feed) {
             ASSERT_FALSE(feed.at("events").empty());
             EXPECT_EQ(feed.at("events").back().at("action"), "trash");
         }},
        {"role refusal: the home folder cannot be renamed", {"rename", "0", "mine"}, refused, nullptr},
        {"missing local file", {"upload", (home.path() / "absent.bin").string(), "0"}, localFile, nullptr},
    };
    ASSERT_EQ(TestSupport::runQuillo(home.path(), {"login", "alice", "--server", server.url()}, "alice-pass\n").exitCode, ok);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        std::vector<std::string> args{"--json"};
        for (auto arg : step.args) {
            if (arg.size() > 2 && arg.front() == '{' && arg.back() == '}') arg = ids[arg.substr(1, arg.size() - 2)];
            args.push_back(arg);
        }
        const auto run = TestSupport::runQuillo(home.path(), args, "", smallParts);
        ASSERT_EQ(run.exitCode, step.exitCode) << run.err;
        if (step.check) step.check(nlohmann::json::parse(run.out));
    }
}

// Counts the storage's stored parts from the server's request log as the lines arrive.
class PartCounter {
public:
    explicit PartCounter(int fd) : reader_([this, fd] { read(fd); }) {}
    ~PartCounter() { reader_.join(); }

    std::size_t count() {
        std::lock_guard lock(mutex_);
        return parts_;
    }
    bool waitFor(std::size_t parts) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return parts_ >= parts; });
    }

private:
    void read(int fd) {
        std::string pending;
        char chunk[4096];
        for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
            pending.append(chunk, static_cast<std::size_t>(got));
            for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
                const auto line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (line.rfind("PUT /storage/", 0) == 0 && line.find(" 200 ") != std::string::npos) {
                    std::lock_guard lock(mutex_);
                    ++parts_;
                    changed_.notify_all();
                }
            }
        }
        ::close(fd);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t parts_ = 0;
    std::thread reader_;
};

TEST(QuilloSession, KilledUploadResumesWithTheMissingParts) {
    if (!TestSupport::DevServerProcess::available()) GTEST_SKIP() << "quillo-devserver not built";
    constexpr std::size_t totalParts = 16, partsBeforeKill = 4;
    int log[2];
    ASSERT_EQ(::pipe2(log, O_CLOEXEC), 0);
    // The counter outlives the server: its reader ends when the server's log closes.
    PartCounter stored(log[0]);
    // Slow enough that the upload is still under way when it is killed.
    TestSupport::DevServerProcess server({"--latency-ms", "40"}, log[1]);
    ::close(log[1]);
    ASSERT_FALSE(server.url().empty());
    TestSupport::TemporaryHome home;
    const auto local = home.path() / "big.bin";
    std::ofstream(local, std::ios::binary) << randomBytes(totalParts * partSize);
    ASSERT_EQ(TestSupport::runQuillo(home.path(), {"login", "alice", "--server", server.url()}, "alice-pass\n").exitCode, ok);
    const std::vector<std::string> upload{"--json", "upload", local.string(), "0", "--parallel", "1"};

    const auto first = TestSupport::startQuillo(home.path(), upload, "", smallParts);
    const bool started = stored.waitFor(partsBeforeKill);
    ::kill(first, SIGKILL);
    EXPECT_EQ(TestSupport::finishQuillo(home.path(), first).exitCode, -1);
    ASSERT_TRUE(started);
    const auto before = stored.count();

    const auto second = TestSupport::runQuillo(home.path(), upload, "", smallParts);
    ASSERT_EQ(second.exitCode, ok) << second.err;
    EXPECT_EQ(nlohmann::json::parse(second.out).at("size"), totalParts * partSize);
    // The parts journalled before the kill were not sent again.
    EXPECT_LT(stored.count() - before, totalParts);
}

}  // namespace

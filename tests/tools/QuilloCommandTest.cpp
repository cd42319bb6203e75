// The quillo program driven as a user would: a real process with its own home folder,
// against a loopback stand-in of the token endpoint, the user, a listing and the volumes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "tests/support/LoopbackServer.h"
#include "tests/tools/QuilloRunner.h"
#include "tools/quillo/Output.h"
#include "tools/quillo/ProgressBar.h"

namespace {

namespace fs = std::filesystem;

// Exit codes as tools/quillo/README.md documents them.
enum Exit : int { ok = 0, usage = 2, auth = 3, refused = 4, network = 5 };

using Outcome = TestSupport::QuilloOutcome;
using TestSupport::runQuillo;

nlohmann::json credentialAnswer(const std::string& token, int expiresIn) {
    return {{"access_token", token}, {"token_type", "bearer"}, {"refresh_token", "refresh-" + token},
            {"expires_in", expiresIn}, {"login", "alice"}, {"email", nullptr}};
}

void answer(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(body.dump(), "application/json");
}

// The password grant hands out a credential that is already expired, so the first
// authorized call has to go through the refresh grant.
void serveAccount(TestSupport::LoopbackServer& server) {
    server.on("POST", "/oauth/token", [](const httplib::Request& request, httplib::Response& response) {
        if (request.body.find("grant_type=refresh_token") != std::string::npos) {
            answer(response, 200, credentialAnswer("fresh", 3600));
        } else if (request.body.find("password=s3cr%26t") != std::string::npos) {
            answer(response, 200, credentialAnswer("stale", 0));
        } else {
            answer(response, 400, {{"error", "invalid_grant"}, {"error_description", "bad credentials"}});
        }
    });
    const auto authorized = [](const httplib::Request& request) {
        return request.get_header_value("Authorization") == "Bearer fresh";
    };
    server.on("GET", "/users/me", [authorized](const httplib::Request& request, httplib::Response& response) {
        if (!authorized(request)) return answer(response, 401, {{"error", "unauthorized"}});
        answer(response, 200, {{"id", 7}, {"account_id", 3}, {"login", "alice"}, {"name", "Alice"}, {"role", "owner"}, {"type", "user"}});
    });
    server.on("GET", "/folders/0/ls", [authorized](const httplib::Request& request, httplib::Response& response) {
        if (!authorized(request)) return answer(response, 401, {{"error", "unauthorized"}});
        const nlohmann::json all = nlohmann::json::array({
            {{"id", "11"}, {"name", "Designs"}, {"type", "folder"}, {"modified_at", "2024-05-01T09:30:00Z"}},
            {{"id", "901"}, {"name", "brief.pdf"}, {"type", "file"}, {"size", 48213}, {"modified_at", "2024-05-02T10:00:00Z"}},
            {{"id", "902"}, {"name", "notes.txt"}, {"type", "file"}, {"size", 12}, {"modified_at", "2024-05-03T11:15:00Z"}},
        });
        // Windows as the service cuts them, so paging is exercised.
        const auto offset = std::stoul(request.get_param_value("offset"));
        const auto limit = std::stoul(request.get_param_value("limit"));
        auto window = nlohmann::json::array();
        for (auto i = offset; i < all.size() && i < offset + limit; ++i) window.push_back(all[i]);
        answer(response, 200, {{"total_count", all.size()}, {"offset", offset}, {"limit", limit}, {"entries", window}});
    });
    server.on("GET", "/items/.*", [](const httplib::Request&, httplib::Response& response) {
        answer(response, 404, {{"error", "not_found"}});
    });
}

TEST(QuilloCommand, SignInListAndSignOut) {
    TestSupport::LoopbackServer server;
    serveAccount(server);
    ASSERT_TRUE(server.start());
    TestSupport::TemporaryHome temporary;
    const fs::path& home = temporary.path();
    const auto address = server.url("");

    const struct Step {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        std::function<void(const Outcome&)> check;
    } steps[] = {
        {"not signed in yet", {"whoami"}, "", auth, nullptr},
        {"wrong password", {"login", "alice", "--server", address}, "wrong\n", auth,
         [](const Outcome& run) { EXPECT_EQ(run.err, "quillo: wrong user name or password\n"); }},
        {"sign-in reads the password from standard input", {"--server", address, "login", "alice"}, "s3cr&t\n", ok,
         [&](const Outcome& run) {
             EXPECT_EQ(run.out, "Signed in as alice (local, " + address + "/)\n");
             const auto config = home / "config" / "quillo" / "config.json";
             EXPECT_EQ(fs::status(config).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
         }},
        {"whoami as JSON with the remembered server", {"whoami", "--json"}, "", ok,
         [](const Outcome& run) {
             const auto user = nlohmann::json::parse(run.out);
             EXPECT_EQ(user.at("login"), "alice");
             EXPECT_EQ(user.at("id"), 7);
             EXPECT_EQ(user.at("role"), "owner");
         }},
        {"ls table stops at the limit", {"ls", "--limit", "2"}, "", ok,
         [](const Outcome& run) {
             EXPECT_EQ(run.out,
                       "TYPE        SIZE  MODIFIED           ID  NAME\n"
                       "folder         -  2024-05-01 09:30   11  Designs/\n"
                       "file    47.1 KiB  2024-05-02 10:00  901  brief.pdf\n");
         }},
        {"ls as JSON", {"ls", "0", "--json"}, "", ok,
         [](const Outcome& run) {
             const auto listing = nlohmann::json::parse(run.out);
             ASSERT_EQ(listing.at("entries").size(), 3u);
             EXPECT_EQ(listing.at("entries")[2].at("size"), 12);
         }},
        {"server refusal", {"stat", "404"}, "", refused, nullptr},
        {"network failure", {"whoami", "--server", "http://127.0.0.1:1"}, "", network, nullptr},
        {"usage error", {"ls", "--limit", "0"}, "", usage, nullptr},
        {"logout", {"logout"}, "", ok, nullptr},
        {"whoami after logout", {"whoami"}, "", auth,
         [](const Outcome& run) { EXPECT_NE(run.err.find("not signed in"), std::string::npos); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const auto run = runQuillo(home, step.args, step.input);
        EXPECT_EQ(run.exitCode, step.exitCode) << run.err;
        if (step.check) step.check(run);
    }
    // One refresh for the sign-in's stale credential; every later call used the fresh one.
    std::size_t refreshes = 0;
    for (const auto& request : server.requests()) {
        refreshes += request.body.find("grant_type=refresh_token") != std::string::npos;
    }
    EXPECT_EQ(refreshes, 1u);
}

}  // namespace

namespace QuilloCli {
namespace {

struct TextCase {
    const char* name;
    std::string got;
    std::string want;
};

TEST(ProgressFormat, SizesRatesAndDurations) {
    constexpr std::int64_t kibibyte = 1024;
    const TextCase cases[] = {
        {"bytes stay whole", humanSize(1023), "1023 B"},
        {"first unit step", humanSize(kibibyte), "1.0 KiB"},
        {"one decimal", humanSize(1536), "1.5 KiB"},
        {"rounding carries into the next unit", humanSize(kibibyte * kibibyte - 1), "1.0 MiB"},
        {"gibibytes", humanSize(5 * kibibyte * kibibyte * kibibyte), "5.0 GiB"},
        {"negative is no size", humanSize(-1), "-"},
        {"rate per second", formatRate(1536.4), "1.5 KiB/s"},
        {"unknown rate", formatRate(std::nullopt), "-"},
        {"rate not a number", formatRate(std::nan("")), "-"},
        {"duration rounds up", formatDuration(7.2), "0:08"},
        {"minutes", formatDuration(754), "12:34"},
        {"hours", formatDuration(3723), "1:02:03"},
        {"unknown duration", formatDuration(std::nullopt), "--:--"},
        {"endless duration", formatDuration(std::numeric_limits<double>::infinity()), "--:--"},
        {"ETA from rate", formatDuration(estimatedSecondsLeft({.done = 50, .total = 150, .rate = 10})), "0:10"},
        {"ETA without total", formatDuration(estimatedSecondsLeft({.done = 50, .rate = 10})), "--:--"},
        {"ETA without rate", formatDuration(estimatedSecondsLeft({.done = 50, .total = 150})), "--:--"},
        {"ETA past the total", formatDuration(estimatedSecondsLeft({.done = 200, .total = 150, .rate = 10})), "0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.got, c.want);
    }
}

TEST(ProgressFormat, Line) {
    constexpr std::size_t width = 80;
    const struct {
        const char* name;
        std::string label;
        ProgressState state;
        std::string want;
    } cases[] = {
        {"half way", "a.bin", {.done = 512 * 1024, .total = 1024 * 1024, .rate = 102400},
         "a.bin  [==========>            ]   50%  512.0 KiB/1.0 MiB  100.0 KiB/s  ETA 0:06"},
        {"size unknown", "a.bin", {.done = 2048},
         "a.bin  [                                          ]    ?%  2.0 KiB  -  ETA --:--"},
        {"done, no label", "", {.done = 10, .total = 10, .rate = 5},
         "[============================================]  100%  10 B/10 B  5 B/s  ETA 0:00"},
        {"long label shortened first", std::string(100, 'x'), {.done = 0, .total = 10},
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...  [          ]    0%  0 B/10 B  -  ETA --:--"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto line = formatProgressLine(c.label, c.state, width);
        EXPECT_EQ(line, c.want);
        EXPECT_LE(line.size(), width);
    }
}

}  // namespace
}  // namespace QuilloCli

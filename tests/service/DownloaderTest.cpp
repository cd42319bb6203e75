#include <gtest/gtest.h>

#include <httplib.h>

#include <condition_variable>
#include <future>

#include "tests/support/Credentials.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TemporaryFolder.h"
#include "Common/connection/RailsError.h"
#include "Common/service/Downloader.h"
#include "Platform/files/FileError.h"
#include "Platform/http/URLError.h"
#include "Platform/log/LogStore.h"

using namespace Common;
using Platform::URLError;
namespace fs = std::filesystem;

namespace {

const std::string secret = "sig=do-not-log";

std::string blob(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& byte : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = static_cast<char>(x);
    }
    return bytes;
}

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // /files/<id>/token names /blob/<id> unless the id is "nourl".
        server.on("GET", "/files/([^/]+)/token", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string id = request.matches[1];
            response.set_content(id == "nourl" ? R"({"url":null,"token":"t"})"
                                               : R"({"url":")" + server.url("/blob/" + id + "?" + secret) + R"("})",
                                 "application/json");
        });
        server.on("GET", "/blob/big", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, "application/octet-stream");
        });
        server.on("GET", "/blob/missing", [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
        // Declares the whole body, sends the first half and then the rest when released
        // ("hold") or never ("cut": the connection closes).
        for (const std::string id : {"cut", "hold"}) {
            server.on("GET", "/blob/" + id, [this, id](const httplib::Request&, httplib::Response& response) {
                response.set_content_provider(body.size(), "application/octet-stream",
                                              [this, id](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset == 0) {
                        sink.write(body.data(), body.size() / 2);
                        std::call_once(halfSentOnce, [this] { halfSent.set_value(); });
                        return true;
                    }
                    if (id == "cut") return false;
                    std::unique_lock lock(mutex);
                    released.wait_for(lock, std::chrono::seconds(20), [this] { return release; });
                    return false;
                });
            });
        }
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_all();
    }

    Downloader downloader(Downloader::Options options = {}) const {
        return Downloader(WebConnection(*Platform::URL::parse(server.url("")),
                                        WebConnection::Options{.credentials = TestSupport::FixedCredentialSource::withToken("t")}),
                          options);
    }
    // What the folder holds besides the target: a partial file left behind.
    static std::vector<std::string> leftovers(const fs::path& target) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(target.parent_path())) {
            if (entry.path() != target) names.push_back(entry.path().filename());
        }
        return names;
    }

    // Before the server, which goes first and joins its handlers.
    const std::string body = blob(6 << 20);
    TestSupport::TemporaryFolder folder;
    std::promise<void> halfSent;
    std::once_flag halfSentOnce;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    TestSupport::LoopbackServer server{std::chrono::seconds(60)};
};

enum class Existing { none, oldFile };

// "RailsError 404", "URLError dataLengthExceedsMaximum"...: what a row expects.
std::string describe(const Platform::ErrorPtr& error) {
    if (const auto* url = dynamic_cast<const URLError*>(error.get())) return std::string("URLError ") + URLError::name(url->code());
    if (const auto* rails = dynamic_cast<const RailsError*>(error.get())) {
        return rails->kind() == RailsError::Case::cannotGetDownloadURL
                   ? "RailsError cannotGetDownloadURL"
                   : "RailsError " + std::to_string(static_cast<int>(rails->statusCode().value_or(HTTPStatusCode(0))));
    }
    return error->what();
}

TEST_F(DownloaderTest, WholeFileOrNothing) {
    constexpr std::uint64_t unbounded = 1ull << 40;
    const struct {
        const char* name;
        std::string id;
        Existing existing;
        std::uint64_t maximum;
        std::string failure;  // empty: success
    } rows[] = {
        {"multi-MB body arrives intact and replaces the target", "big", Existing::oldFile, unbounded, ""},
        {"connection lost mid-body keeps the old target", "cut", Existing::oldFile, unbounded, "URLError networkConnectionLost"},
        {"connection lost mid-body leaves nothing", "cut", Existing::none, unbounded, "URLError networkConnectionLost"},
        {"ticket without url", "nourl", Existing::oldFile, unbounded, "RailsError cannotGetDownloadURL"},
        {"error status from the address", "missing", Existing::oldFile, unbounded, "RailsError 404"},
        {"file past the maximum", "big", Existing::oldFile, 1 << 20, "URLError dataLengthExceedsMaximum"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path target = folder.path() / row.name / (row.id + ".bin");
        fs::create_directory(target.parent_path());
        if (row.existing == Existing::oldFile) std::ofstream(target) << "old";
        std::promise<Platform::Result<Downloader::Downloaded>> done;
        const auto progress = downloader({.maximumFileSize = row.maximum})
                                  .download(row.id, target, [&](auto result) { done.set_value(std::move(result)); });
        auto future = done.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        const auto result = future.get();
        EXPECT_TRUE(leftovers(target).empty());
        if (row.failure.empty()) {
            ASSERT_TRUE(result) << result.error()->what();
            EXPECT_EQ(result.value().length, body.size());
            EXPECT_TRUE(TestSupport::readFile(target) == body) << "the bytes arrived intact";
            EXPECT_EQ(progress->completedUnitCount(), static_cast<std::int64_t>(body.size()));
            continue;
        }
        ASSERT_FALSE(result);
        EXPECT_EQ(describe(result.error()), row.failure);
        EXPECT_EQ(fs::exists(target), row.existing == Existing::oldFile);
        if (row.existing == Existing::oldFile) {
            EXPECT_EQ(TestSupport::readFile(target), "old");
        }
    }
    for (const auto& entry : Platform::LogStore::shared().entries()) {
        EXPECT_EQ(entry.composedMessage.find(secret), std::string::npos) << entry.composedMessage;
    }
}

TEST_F(DownloaderTest, CancelMidBodyLeavesNothing) {
    const fs::path target = folder.path() / "hold.bin";
    std::ofstream(target) << "old";
    std::promise<Platform::Result<Downloader::Downloaded>> done;
    const auto progress = downloader().download("hold", target, [&](auto result) { done.set_value(std::move(result)); });
    ASSERT_EQ(halfSent.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    progress->cancel();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const auto result = future.get();
    ASSERT_NE(result.error<URLError>(), nullptr);
    EXPECT_EQ(result.error<URLError>()->code(), URLError::Code::cancelled);
    EXPECT_EQ(TestSupport::readFile(target), "old");
    EXPECT_TRUE(leftovers(target).empty());
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "../platform/StoreTestSupport.h"
#include "Common/connection/CloudianError.h"
#include "Common/service/MultiPartUploadError.h"
#include "Common/service/Uploader.h"
#include "Platform/http/URLError.h"
#include "Platform/log/LogStore.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Credentials.h"
#include "tests/support/MultiPartServer.h"

using namespace Common;
using TestSupport::MultiPartServer;

namespace {

constexpr std::uint64_t testPartSize = 64 << 10;
constexpr auto bound = std::chrono::seconds(30);

Uploader::Options testOptions(int concurrentParts = 4) {
    return {.partSize = testPartSize,
            .minimumPartSize = testPartSize,
            .concurrentParts = concurrentParts,
            .retry = {.maximumAttempts = 3, .initialDelay = 0.001, .maximumDelay = 0.004, .maximumRetryAfter = 0.004}};
}

Uploader uploaderFor(const std::string& baseURL, int concurrentParts = 4) {
    return Uploader(WebConnection(*Platform::URL::parse(baseURL),
                                  WebConnection::Options{.credentials = TestSupport::FixedCredentialSource::withToken("t")}),
                    testOptions(concurrentParts));
}

std::string writeFile(const std::filesystem::path& path, std::size_t size) {
    std::string bytes(size, '\0');
    std::mt19937 generator(static_cast<unsigned>(size));
    for (auto& byte : bytes) byte = static_cast<char>(generator());
    std::ofstream(path, std::ios::binary) << bytes;
    return bytes;
}

Platform::Result<TarnItem> uploadAndWait(const Uploader& uploader, const std::filesystem::path& file,
                                         const UploadDestination& destination,
                                         std::shared_ptr<Platform::Progress>* progress = nullptr) {
    std::promise<Platform::Result<TarnItem>> done;
    auto answer = done.get_future();
    auto started = uploader.upload(file, destination, [&done](Platform::Result<TarnItem> result) {
        done.set_value(std::move(result));
    });
    if (progress) *progress = started;
    if (answer.wait_for(bound) != std::future_status::ready) {
        started->cancel();
        answer.wait();
    }
    return answer.get();
}

constexpr const char* fileVariable = "QUILLO_UPLOAD_TEST_FILE";

// Uploads until the parent kills it.
const TestSupport::ChildRole uploads("uploader", [](const std::string& serverURL) {
    (void)uploadAndWait(uploaderFor(serverURL, 1), std::getenv(fileVariable), UploadDestination::newFile("01", "r"));
});

class UploaderOverLoopback : public ::testing::Test {
protected:
    StoreTestSupport::TemporaryRoot root;

    // Uploads `file` in a child process and kills it once the server holds a part.
    void killUploadHalfWay(MultiPartServer& server, const std::filesystem::path& file) {
        auto child = TestSupport::ChildProcess::play({.role = "uploader",
                                                       .environment = {{fileVariable, file.string()}},
                                                       .containerRoot = root.path(),
                                                       .argument = server.baseURL()});
        ASSERT_TRUE(server.waitForHeldPart(bound));
        child.kill();
        server.setFaults({});
        server.release();
    }
};

TEST_F(UploaderOverLoopback, Outcomes) {
    enum class Outcome { stored, abandoned };
    const std::size_t severalParts = 5 * testPartSize + 1234;
    const struct {
        const char* name;
        MultiPartServer::Faults faults;
        std::size_t size;
        UploadDestination destination;
        Outcome outcome;
        int watchedPart;  // whose PUTs are counted; 0: all parts
        std::size_t puts;
        std::function<bool(const Platform::Error&)> expectedError;
    } rows[] = {
        {"several parts arrive whole, several at once", {.awaitedConcurrency = 2}, severalParts,
         UploadDestination::newFile("01", "report.bin"), Outcome::stored, 0, 6, nullptr},
        {"a part failing twice is retried", {.partStatuses = {{2, {503, 429}}}, .retryAfter = "1"}, severalParts,
         UploadDestination::newFile("01", "report.bin"), Outcome::stored, 2, 3, nullptr},
        {"new contents go through the modification family", {}, severalParts,
         UploadDestination::newContents("555"), Outcome::stored, 0, 6, nullptr},
        {"a zero-byte file is one empty part", {}, 0, UploadDestination::newFile("7", "empty"), Outcome::stored, 0, 1,
         nullptr},
        {"a part that keeps failing abandons the upload", {.alwaysFailing = {2, 500}}, severalParts,
         UploadDestination::newFile("01", "report.bin"), Outcome::abandoned, 2, 3,
         [](const Platform::Error& error) {
             const auto* storage = dynamic_cast<const CloudianError*>(&error);
             return storage && storage->statusCode() == HTTPStatusCode::internalServerError &&
                    storage->description() == "InternalError: refused";
         }},
        {"a refused part is not retried", {.alwaysFailing = {1, 403}}, testPartSize,
         UploadDestination::newFile("01", "report.bin"), Outcome::abandoned, 1, 1,
         [](const Platform::Error& error) {
             const auto* storage = dynamic_cast<const CloudianError*>(&error);
             return storage && storage->statusCode() == HTTPStatusCode::forbidden;
         }},
        {"a tag that is not the part's MD5 is caught", {.wrongETags = true}, testPartSize,
         UploadDestination::newFile("01", "report.bin"), Outcome::abandoned, 1, 3,
         [](const Platform::Error& error) {
             const auto* upload = dynamic_cast<const MultiPartUploadError*>(&error);
             return upload && upload->code() == MultiPartUploadError::Code::checksumMismatch;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MultiPartServer server(row.faults);
        ASSERT_TRUE(server.start());
        const auto file = root.path() / "upload.bin";
        const auto bytes = writeFile(file, row.size);
        std::shared_ptr<Platform::Progress> progress;
        const auto result = uploadAndWait(uploaderFor(server.baseURL()), file, row.destination, &progress);
        const auto puts = server.record().partPuts;
        EXPECT_EQ(row.watchedPart == 0 ? puts.size()
                                       : static_cast<std::size_t>(std::count(puts.begin(), puts.end(), row.watchedPart)),
                  row.puts);
        if (row.outcome == Outcome::stored) {
            ASSERT_TRUE(result) << result.error()->what();
            EXPECT_EQ(server.record().completedContents, bytes);
            EXPECT_EQ(result.value().size, static_cast<std::int64_t>(row.size));
            EXPECT_EQ(progress->completedUnitCount(), static_cast<std::int64_t>(row.size));
            EXPECT_TRUE(server.record().abortedKeys.empty());
        } else {
            ASSERT_FALSE(result);
            EXPECT_TRUE(row.expectedError(*result.error())) << result.error()->what();
            EXPECT_FALSE(server.record().completedContents);
            EXPECT_EQ(server.record().abortedKeys, std::vector<std::string>{"up+1/a b&c"});
            EXPECT_LE(progress->completedUnitCount(), static_cast<std::int64_t>(row.size));
        }
        if (row.faults.awaitedConcurrency > 0) {
            EXPECT_GE(server.record().mostPutsAtOnce, row.faults.awaitedConcurrency);
        }
    }
    for (const auto& entry : Platform::LogStore::shared().entries()) {
        EXPECT_EQ(entry.composedMessage.find("X-Signature"), std::string::npos) << entry.composedMessage;
    }
}

TEST_F(UploaderOverLoopback, CancelAbandonsTheUpload) {
    MultiPartServer server({.heldPart = 2});
    ASSERT_TRUE(server.start());
    const auto file = root.path() / "upload.bin";
    writeFile(file, 3 * testPartSize);
    auto done = std::make_shared<std::promise<Platform::Result<TarnItem>>>();
    auto answer = done->get_future();
    const auto progress = uploaderFor(server.baseURL(), 1)
                              .upload(file, UploadDestination::newFile("01", "a.bin"),
                                      [done](Platform::Result<TarnItem> result) { done->set_value(std::move(result)); });
    ASSERT_TRUE(server.waitForHeldPart(bound));
    progress->cancel();
    ASSERT_TRUE(server.waitForAbort(bound));
    ASSERT_EQ(answer.wait_for(bound), std::future_status::ready);
    const auto result = answer.get();
    ASSERT_NE(result.error<Platform::URLError>(), nullptr);
    EXPECT_EQ(result.error<Platform::URLError>()->code(), Platform::URLError::Code::cancelled);
    EXPECT_EQ(server.record().abortedKeys, std::vector<std::string>{"up+1/a b&c"});
    EXPECT_EQ(progress->completedUnitCount(), static_cast<std::int64_t>(testPartSize));
}

// The child uploads until the server holds its third part, then is killed; the parent
// uploads the same file again and only the parts not yet stored go out.
TEST_F(UploaderOverLoopback, ResumesAfterKillWithoutResendingStoredParts) {
    MultiPartServer server({.heldPart = 3});
    ASSERT_TRUE(server.start());
    const auto file = root.path() / "upload.bin";
    const auto bytes = writeFile(file, 5 * testPartSize + 17);
    ASSERT_NO_FATAL_FAILURE(killUploadHalfWay(server, file));

    const auto result = uploadAndWait(uploaderFor(server.baseURL(), 1), file, UploadDestination::newFile("01", "r"));
    ASSERT_TRUE(result) << result.error()->what();
    EXPECT_EQ(server.record().completedContents, bytes);
    EXPECT_EQ(server.record().partPuts, (std::vector<int>{1, 2, 3, 3, 4, 5, 6}));
    EXPECT_TRUE(server.record().abortedKeys.empty());
}

TEST_F(UploaderOverLoopback, ChangedFileOrDamagedJournalStartsOver) {
    enum class Damage { fileChanged, journalOverwritten };
    for (const auto damage : {Damage::fileChanged, Damage::journalOverwritten}) {
        SCOPED_TRACE(damage == Damage::fileChanged ? "file changed" : "journal overwritten");
        MultiPartServer server({.heldPart = 2});
        ASSERT_TRUE(server.start());
        const auto file = root.path() / "upload.bin";
        std::string bytes = writeFile(file, 3 * testPartSize);
        ASSERT_NO_FATAL_FAILURE(killUploadHalfWay(server, file));
        if (damage == Damage::fileChanged) {
            bytes = writeFile(file, 3 * testPartSize + 1);
        } else {
            const auto journal = root.path() / "group.com.fernwaldsky.quillo.macos" / "Uploads" / "uploads.sqlite";
            std::filesystem::remove(journal.string() + "-wal");
            std::ofstream(journal, std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
        }
        const auto result = uploadAndWait(uploaderFor(server.baseURL(), 1), file, UploadDestination::newFile("01", "r"));
        ASSERT_TRUE(result) << result.error()->what();
        EXPECT_EQ(server.record().completedContents, bytes);
        // Part 1 went out twice: once before the kill and again after starting over.
        const auto puts = server.record().partPuts;
        EXPECT_EQ(std::count(puts.begin(), puts.end(), 1), 2);
        if (damage == Damage::fileChanged) {
            EXPECT_EQ(server.record().abortedKeys, std::vector<std::string>{"up+1/a b&c"});
        }
    }
}


}  // namespace

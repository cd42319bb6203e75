#pragma once

// Usage:
//
//   const Common::WebConnection connection(*backend.baseURL());
//   const Common::Uploader uploader(connection);
//   // A new file "report.pdf" in the personal folder; the completion runs on the pool.
//   auto progress = uploader.upload("/home/me/report.pdf", Common::UploadDestination::newFile("01", "report.pdf"),
//                                   [](Platform::Result<Common::TarnItem> item) {
//                                       if (!item) std::puts(item.error()->what());
//                                   });
//   // progress->completedUnitCount() grows to the file's size; progress->cancel() stops
//   // the upload and abandons it on the service.
//   // New contents for file 555, waiting for the result (get() throws the error):
//   const Common::TarnItem item =
//       uploader.upload("/home/me/report.pdf", Common::UploadDestination::newContents("555")).get();

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "Common/connection/WebConnection.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Export.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"

namespace Common {

// Where an upload goes: a new file into a folder, or new contents of an existing file.
struct QUILLO_EXPORT UploadDestination {
    enum class Kind { newFile, newContents };

    static UploadDestination newFile(std::string parentItemIdentifier, std::string name) {
        return {Kind::newFile, std::move(parentItemIdentifier), std::move(name)};
    }
    static UploadDestination newContents(std::string fileID) { return {Kind::newContents, std::move(fileID), {}}; }

    Kind kind = Kind::newFile;
    // The parent folder ("01" is the personal folder) or the file, as the service knows it.
    std::string identifier;
    // The new file's name; empty for new contents, which keep the file's name.
    std::string name;
};

// How a part that failed for a passing reason (connection lost, timeout, 408, 429, 5xx)
// is tried again: after a pause drawn evenly from zero to initialDelay * 2^(retry - 1),
// at most maximumDelay ("full jitter"), or after the storage's Retry-After when it gives one.
struct QUILLO_EXPORT UploadRetryPolicy {
    // Tries of one part in all, the first included.
    int maximumAttempts = 5;
    double initialDelay = 0.5;  // seconds
    double maximumDelay = 20;
    // A longer Retry-After is waited for this long.
    double maximumRetryAfter = 120;
};

// Sends a local file to the service as a multipart upload: opens the upload, splits the
// file into parts, has each part's address presigned and PUTs the parts on the
// connection's upload session a few at a time, each with its Content-MD5, then completes
// the upload with the parts' entity tags in part order. Whatever fails for good (or is
// cancelled) abandons the upload on the service. Storage refusals are CloudianError.
//
// Resumable: the uploads under way are journalled in the group container, so when the
// process dies half-way, uploading the same unchanged file to the same place again sends
// only the parts not yet stored. A file that changed starts over.
class QUILLO_EXPORT Uploader {
public:
    enum class Journal { groupContainer, none };

    struct Options {
        // Parts are this long (the last one shorter), grown when the file would need more
        // than maximumPartCount parts; never below minimumPartSize.
        std::uint64_t partSize = std::uint64_t{8} << 20;
        std::uint64_t minimumPartSize = std::uint64_t{5} << 20;
        std::uint64_t maximumPartCount = 10'000;
        // Parts presigned and sent at once. Parts are read from the file as they go out,
        // so memory does not grow with this or with the part size.
        int concurrentParts = 4;
        UploadRetryPolicy retry;
        // Seconds a part's PUT may go without moving a byte.
        double partTimeoutInterval = 60;
        Journal journal = Journal::groupContainer;
    };

    explicit Uploader(WebConnection connection);
    Uploader(WebConnection connection, Options options);

    const Options& options() const noexcept { return options_; }

    // Uploads the file at `file`. The progress counts the bytes of the parts stored (total:
    // the file's size); it only grows, and its cancel() stops the upload. The completion runs
    // once, on the concurrent pool, with the item the service made or changed, or the error.
    std::shared_ptr<Platform::Progress> upload(const std::filesystem::path& file, const UploadDestination& destination,
                                               std::function<void(Platform::Result<TarnItem>)> completion) const;
    // The same; get() throws the error.
    [[nodiscard]] std::future<TarnItem> upload(const std::filesystem::path& file,
                                               const UploadDestination& destination) const;

    // The part size a file of `size` bytes is sent in under `options`.
    [[nodiscard]] static std::uint64_t partSize(std::uint64_t size, const Options& options) noexcept;

private:
    WebConnection connection_;
    Options options_;
};

}  // namespace Common

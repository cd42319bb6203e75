#pragma once

// Usage:
//
//   const Common::WebConnection connection(*backend.baseURL());
//   const Common::Downloader downloader(connection);
//   // Callback form: the file is at the target only once it arrived whole.
//   auto progress = downloader.download("987", "/home/me/report.csv",
//                                       [](Platform::Result<Common::Downloader::Downloaded> done) {
//                                           if (done) std::printf("%llu bytes\n", (unsigned long long)done.value().length);
//                                       });
//   progress->completedUnitCount();  // bytes received so far
//   progress->cancel();              // fails with URLError::Code::cancelled; no file is left behind
//
//   // Future form: get() throws the failure as its own type.
//   const auto file = downloader.download("987", "/home/me/report.csv").get();

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "Common/connection/WebConnection.h"
#include "Platform/core/Export.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"

namespace Common {

// Fetches a file's contents: asks the service for the download ticket
// (WebService::DownloadParameter), then streams the body from the ticket's address on
// the connection's download session into a temporary file beside the target, renamed
// into place only when complete. A failed or cancelled download leaves no temporary file
// and never touches an existing target. Memory stays bounded whatever the file's size.
//
// Failures: the ticket call's error; RailsError::cannotGetDownloadURL for a ticket
// without a usable address; RailsError::httpError for a status other than 2xx from the
// address; URLError (transport, cancelled, dataLengthExceedsMaximum past
// `maximumFileSize`); FileError for the temporary file or the rename.
class QUILLO_EXPORT Downloader {
public:
    struct Options {
        // Bytes a file may have; past it (or a Content-Length above it) the download fails.
        std::uint64_t maximumFileSize = std::uint64_t{1} << 40;
        // Seconds without a byte before the transfer fails.
        double idleTimeout = 60;
    };

    struct Downloaded {
        std::string path;
        std::uint64_t length = 0;
    };

    Downloader(WebConnection connection, Options options);
    explicit Downloader(WebConnection connection) : Downloader(std::move(connection), Options{}) {}

    // The progress counts the body's bytes as they arrive (only growing) and its cancel()
    // stops the download at whatever step it is. The completion runs on the concurrent pool.
    std::shared_ptr<Platform::Progress> download(std::string fileIdentifier, std::string targetPath,
                                                 std::function<void(Platform::Result<Downloaded>)> completion) const;
    [[nodiscard]] std::future<Downloaded> download(std::string fileIdentifier, std::string targetPath) const;

    // "https://dl.example.com/…": what log lines show of a download address, which carries a token.
    static std::string redactedAddress(const Platform::URL& url);

private:
    WebConnection connection_;
    Options options_;
};

}  // namespace Common

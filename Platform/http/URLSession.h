#pragma once

#include <functional>
#include <future>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"
#include "Platform/http/HTTPURLResponse.h"
#include "Platform/http/URLRequest.h"
#include "Platform/http/URLSessionConfiguration.h"

namespace Platform {

namespace detail {
class URLSessionEngine;
class URLSessionTransfer;
}  // namespace detail

// Sends HTTP requests. Each session has one I/O thread that runs all its transfers
// at once over kept-alive (and, over TLS, HTTP/2) connections; copies share that
// session. Completions run on the ConcurrentPool, never on the caller's thread.
// The last copy's destruction cancels whatever is still under way.
class QUILLO_EXPORT URLSession {
public:
    using DataResult = Result<std::pair<Data, HTTPURLResponse>>;
    using DataCompletion = std::function<void(DataResult)>;

    explicit URLSession(URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral());

    const URLSessionConfiguration& configuration() const noexcept;

    // Sends `request` and passes its response and body, or a URLError, to `completion`.
    // Any HTTP status is a response. Never blocks; a request that cannot be sent as it
    // is (bad header field, unsupported scheme) fails without anything being sent.
    // The body's Data keeps at least 64 spare bytes of capacity past its size.
    //
    // The progress counts bytes sent and received as they move (its total: the body's
    // size plus the answer's Content-Length, once known) and ends at the bytes moved.
    // Its cancel() stops the task: the completion then gets URLError::Code::cancelled,
    // once. Cancelling a finished task does nothing.
    std::shared_ptr<Progress> dataTask(URLRequest request, DataCompletion completion) const;
    // dataTask for callers that wait.
    std::future<DataResult> data(URLRequest request) const;

    // Where a download task writes its body, and how much it may write.
    struct DownloadDestination {
        // Created (mode 0600) or truncated when the task starts.
        std::string path;
        // Past it (or a Content-Length above it) the task fails with dataLengthExceedsMaximum.
        std::optional<std::uint64_t> maximumBodySize;
    };
    struct DownloadedFile {
        HTTPURLResponse response;
        // Body bytes now in the file.
        std::uint64_t length = 0;
    };
    using DownloadResult = Result<DownloadedFile>;
    using DownloadCompletion = std::function<void(DownloadResult)>;

    // Like dataTask, but the body goes to a file as it arrives: memory stays at one
    // transfer buffer whatever the size. Any HTTP status is a response, its body written
    // too. A failed write or close is a FileError. On failure the file holds whatever
    // arrived; removing it is the caller's choice. `progress`: one the caller already
    // holds, to count into and be cancelled through (null: a new one); it is returned.
    std::shared_ptr<Progress> downloadTask(URLRequest request, DownloadDestination destination,
                                           DownloadCompletion completion,
                                           std::shared_ptr<Progress> progress = nullptr) const;

    // Part of an open file sent as a request's body.
    struct UploadSource {
        // Read with pread as the body goes out, so tasks may share it; the task keeps it open.
        std::shared_ptr<const FileDescriptor> file;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };

    // Like dataTask, but the body is read from `source` as it goes out: memory stays at
    // one transfer buffer whatever the length, and a retry on a fresh connection or a
    // redirect reads it again. A file that ends early or cannot be read fails the task
    // with a FileError. GET and HEAD carry no body and are refused.
    std::shared_ptr<Progress> uploadTask(URLRequest request, UploadSource source, DataCompletion completion) const;

    // Cancels every task under way (each completes with `cancelled`) and every task
    // given later. Applies to all copies.
    void invalidateAndCancel() const;

private:
    std::shared_ptr<Progress> start(std::unique_ptr<detail::URLSessionTransfer> transfer) const;

    struct Owner;
    std::shared_ptr<Owner> owner_;
};

}  // namespace Platform

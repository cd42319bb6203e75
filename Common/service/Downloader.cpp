#include "Common/service/Downloader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/RailsError.h"
#include "Common/service/DownloadParameter.h"
#include "Platform/core/Fulfil.h"
#include "Platform/files/FileError.h"
#include "Platform/http/URLError.h"
#include "Platform/log/Logger.h"

namespace Common {

namespace {

using Completion = std::function<void(Platform::Result<Downloader::Downloaded>)>;

const Platform::Logger& logger() {
    static const Platform::Logger log(Platform::Logger::defaultSubsystem(), "Downloader");
    return log;
}

// A fresh, empty file beside the target (same file system, so the rename is atomic).
Platform::Result<std::string> makeTemporaryFile(const std::string& targetPath) {
    const std::filesystem::path target(targetPath);
    if (!target.has_filename()) {
        return Platform::Result<std::string>::failure(Platform::FileError(
            Platform::FileError::Code::fileReadInvalidFileName, {{"path", targetPath}}));
    }
    const auto folder = target.parent_path();
    std::string pattern = ((folder.empty() ? std::filesystem::path(".") : folder) /
                           ("." + target.filename().string() + ".download-XXXXXX"))
                              .string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return Platform::Result<std::string>::failure(Platform::FileError::fromWriteErrno(errno, targetPath));
    ::close(fd);
    return std::string(name.data());
}

// What one download shares between its steps and the caller's progress.
struct DownloadState {
    std::string identifier;
    std::string target;
    Completion completion;
    std::shared_ptr<Platform::Progress> progress = std::make_shared<Platform::Progress>();

    void fail(const Platform::ErrorPtr& error) const {
        logger().error("Download of %{public}s failed: %{public}s", identifier,
                       error->errorDescription().value_or(error->what()));
        progress->finish();
        completion(error);
    }
    template <class E>
    void fail(E error) const {
        fail(Platform::ErrorPtr(std::make_shared<E>(std::move(error))));
    }
};

}  // namespace

Downloader::Downloader(WebConnection connection, Options options)
    : connection_(std::move(connection)), options_(options) {}

std::string Downloader::redactedAddress(const Platform::URL& url) {
    std::string text = url.scheme() + "://" + url.host();
    if (url.port()) text += ":" + std::to_string(*url.port());
    return text + "/…";
}

std::shared_ptr<Platform::Progress> Downloader::download(std::string fileIdentifier, std::string targetPath,
                                                         Completion completion) const {
    auto state = std::make_shared<DownloadState>();
    state->identifier = std::move(fileIdentifier);
    state->target = std::move(targetPath);
    state->completion = std::move(completion);

    auto ticketCall = std::make_shared<std::shared_ptr<Platform::Progress>>();
    auto ticketMutex = std::make_shared<std::mutex>();
    // Cancelling while the ticket is asked for cancels that call; the download task
    // later installs its own handler on the same progress.
    state->progress->setCancellationHandler([ticketCall, ticketMutex] {
        std::lock_guard lock(*ticketMutex);
        if (*ticketCall) (*ticketCall)->cancel();
    });

    // The call holds a copy of the connection: the sessions live until it ends, even when
    // this Downloader does not.
    auto onTicket = [state, connection = connection_, options = options_](Platform::Result<Download> ticket) {
        if (!ticket) return state->fail(ticket.error());
        if (state->progress->isCancelled()) return state->fail(Platform::URLError(Platform::URLError::Code::cancelled));
        const auto& address = ticket.value().url;
        const auto url = address ? Platform::URL::parse(*address) : std::nullopt;
        if (!url || (url->scheme() != "https" && url->scheme() != "http")) {
            return state->fail(RailsError::cannotGetDownloadURL());
        }
        auto temporary = makeTemporaryFile(state->target);
        if (!temporary) return state->fail(temporary.error());
        const std::string partial = temporary.value();
        logger().debug("🌐 GET %{public}s for %{public}s", redactedAddress(*url), state->identifier);

        Platform::URLRequest request{.url = *url, .timeoutInterval = options.idleTimeout};
        auto onBody = [state, partial, connection](Platform::URLSession::DownloadResult result) {
            const auto discard = [&] { std::remove(partial.c_str()); };
            if (!result) {
                discard();
                return state->fail(result.error());
            }
            auto file = std::move(result).value();
            if (file.response.statusCode / 100 != 2) {
                discard();
                return state->fail(RailsError::httpError(static_cast<HTTPStatusCode>(file.response.statusCode)));
            }
            if (std::rename(partial.c_str(), state->target.c_str()) != 0) {
                const int error = errno;
                discard();
                return state->fail(Platform::FileError::fromWriteErrno(error, state->target));
            }
            logger().debug("✅ Downloaded %{public}s: %{public}s bytes", state->identifier,
                           std::to_string(file.length));
            state->completion(Downloaded{state->target, file.length});
        };
        connection.downloadSession().downloadTask(std::move(request), {.path = partial, .maximumBodySize = options.maximumFileSize},
                             std::move(onBody), state->progress);
    };
    auto call = connection_.makeAPICall(WebService::DownloadParameter(state->identifier), std::nullopt, false,
                                        std::function<void(Platform::Result<Download>)>(std::move(onTicket)));
    {
        std::lock_guard lock(*ticketMutex);
        *ticketCall = call;
    }
    if (state->progress->isCancelled()) call->cancel();
    return state->progress;
}

std::future<Downloader::Downloaded> Downloader::download(std::string fileIdentifier, std::string targetPath) const {
    auto promise = std::make_shared<std::promise<Downloaded>>();
    auto future = promise->get_future();
    download(std::move(fileIdentifier), std::move(targetPath),
             [promise](Platform::Result<Downloaded> result) { Platform::fulfil(*promise, std::move(result)); });
    return future;
}

}  // namespace Common

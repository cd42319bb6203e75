#include "Platform/http/URLSession.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <thread>

#include "Platform/core/ASCII.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/http/internal/FileBodySink.h"
#include "Platform/http/internal/FileBodySource.h"
#include "Platform/http/internal/URLSessionEngine.h"
#include "Platform/http/internal/URLSessionTransfer.h"

namespace Platform {

using detail::DataBodySink;
using detail::DataBodySource;
using detail::URLSessionEngine;
using detail::URLSessionTransfer;

namespace {

class DataTaskTransfer final : public URLSessionTransfer {
public:
    DataTaskTransfer(URLRequest request, std::optional<std::uint64_t> maximumBodySize,
                     URLSession::DataCompletion completion)
        : URLSessionTransfer(std::move(request), nullptr, std::make_unique<DataBodySink>(maximumBodySize)),
          completion_(std::move(completion)) {}

    DataTaskTransfer(URLRequest request, std::unique_ptr<detail::TransferBodySource> source,
                     std::optional<std::uint64_t> maximumBodySize, URLSession::DataCompletion completion)
        : URLSessionTransfer(std::move(request), std::move(source), std::make_unique<DataBodySink>(maximumBodySize)),
          completion_(std::move(completion)) {}

    std::function<void()> complete(Result<HTTPURLResponse> outcome) override {
        auto result = outcome ? URLSession::DataResult(std::pair(static_cast<DataBodySink&>(sink()).take(),
                                                                 std::move(outcome).value()))
                              : URLSession::DataResult(outcome.error());
        return [completion = std::move(completion_), result = std::move(result)]() mutable {
            if (completion) completion(std::move(result));
        };
    }

private:
    URLSession::DataCompletion completion_;
};

class DownloadTaskTransfer final : public URLSessionTransfer {
public:
    DownloadTaskTransfer(URLRequest request, std::unique_ptr<detail::FileBodySink> sink,
                         std::shared_ptr<Progress> progress, URLSession::DownloadCompletion completion)
        : URLSessionTransfer(std::move(request), nullptr, std::move(sink), std::move(progress)),
          completion_(std::move(completion)) {}

    detail::FileBodySink& file() noexcept { return static_cast<detail::FileBodySink&>(sink()); }

    std::function<void()> complete(Result<HTTPURLResponse> outcome) override {
        auto closed = file().close();
        URLSession::DownloadResult result = !outcome ? URLSession::DownloadResult(outcome.error())
                                            : closed ? URLSession::DownloadResult(std::move(closed))
                                                     : URLSession::DownloadResult(URLSession::DownloadedFile{
                                                           std::move(outcome).value(), file().length()});
        return [completion = std::move(completion_), result = std::move(result)]() mutable {
            if (completion) completion(std::move(result));
        };
    }

private:
    URLSession::DownloadCompletion completion_;
};

// Data bodies go with the methods that carry one; GET and HEAD send none.
bool sendsBody(const URLRequest& request) {
    const auto is = [&](std::string_view method) { return equalsIgnoringASCIICase(request.httpMethod, method); };
    return request.httpBody && !request.httpMethod.empty() && !is("GET") && !is("HEAD");
}

}  // namespace

// Owns the I/O thread. The thread keeps its own reference to the engine, so when the
// last session copy goes away on that very thread (a dropped completion holding one)
// the thread is detached and finishes with the engine still alive.
struct URLSession::Owner {
    explicit Owner(URLSessionConfiguration configuration)
        : engine(std::make_shared<URLSessionEngine>(std::move(configuration))),
          thread([engine = engine] { engine->run(); }) {}

    ~Owner() {
        engine->stop();
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }

    std::shared_ptr<URLSessionEngine> engine;
    std::thread thread;
};

URLSession::URLSession(URLSessionConfiguration configuration)
    : owner_(std::make_shared<Owner>(std::move(configuration))) {}

const URLSessionConfiguration& URLSession::configuration() const noexcept {
    return owner_->engine->configuration();
}

std::shared_ptr<Progress> URLSession::dataTask(URLRequest request, DataCompletion completion) const {
    std::unique_ptr<DataTaskTransfer> transfer;
    const auto maximum = configuration().maximumResponseBodySize;
    if (sendsBody(request)) {
        Data body = std::move(*request.httpBody);
        request.httpBody.reset();
        transfer = std::make_unique<DataTaskTransfer>(
            std::move(request), std::make_unique<DataBodySource>(std::move(body)), maximum, std::move(completion));
    } else {
        transfer = std::make_unique<DataTaskTransfer>(std::move(request), maximum, std::move(completion));
    }
    return start(std::move(transfer));
}

std::shared_ptr<Progress> URLSession::uploadTask(URLRequest request, UploadSource source,
                                                 DataCompletion completion) const {
    request.httpBody.reset();
    auto body = std::make_unique<detail::FileBodySource>(std::move(source.file), source.offset, source.length);
    return start(std::make_unique<DataTaskTransfer>(std::move(request), std::move(body),
                                                    configuration().maximumResponseBodySize, std::move(completion)));
}

std::shared_ptr<Progress> URLSession::downloadTask(URLRequest request, DownloadDestination destination,
                                                   DownloadCompletion completion,
                                                   std::shared_ptr<Progress> progress) const {
    request.httpBody.reset();
    auto sink = std::make_unique<detail::FileBodySink>(std::move(destination.path), destination.maximumBodySize);
    auto opened = sink->open();
    auto transfer = std::make_unique<DownloadTaskTransfer>(std::move(request), std::move(sink), std::move(progress),
                                                           std::move(completion));
    if (opened) {
        auto progress = transfer->sharedProgress();
        progress->finish();
        ConcurrentPool::post(transfer->complete(std::move(opened)));
        return progress;
    }
    return start(std::move(transfer));
}

std::shared_ptr<Progress> URLSession::start(std::unique_ptr<detail::URLSessionTransfer> transfer) const {
    auto progress = transfer->sharedProgress();
    if (auto error = transfer->prepare(configuration())) {
        progress->finish();
        ConcurrentPool::post(transfer->complete(std::move(error)));
        return progress;
    }
    const double resource = configuration().timeoutIntervalForResource;
    const double seconds = resource > 0 ? std::min(resource, 86400.0 * 3650) : 604800;
    transfer->deadline = Clock::steadyNow() + std::chrono::duration_cast<URLSessionTransfer::TimePoint::duration>(
                                                  std::chrono::duration<double>(seconds));
    owner_->engine->enqueue(std::move(transfer));
    return progress;
}

std::future<URLSession::DataResult> URLSession::data(URLRequest request) const {
    auto promise = std::make_shared<std::promise<DataResult>>();
    auto future = promise->get_future();
    dataTask(std::move(request), [promise](DataResult result) { promise->set_value(std::move(result)); });
    return future;
}

void URLSession::invalidateAndCancel() const {
    owner_->engine->stop();
}

}  // namespace Platform

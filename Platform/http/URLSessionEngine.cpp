#include "Platform/http/URLSessionEngine.h"

#include <algorithm>
#include <chrono>

#include "Platform/http/CurlGlobal.h"
#include "Platform/http/NetworkReachability.h"
#include "Platform/log/Logger.h"

namespace Platform {

namespace {

using std::chrono::milliseconds;

// Reused easy handles kept beyond this are freed.
constexpr std::size_t maximumIdleHandles = 32;
// The loop wakes at least this often even when nothing happens.
constexpr int maximumPollMilliseconds = 1000;
constexpr milliseconds firstRetryInterval{1000};
constexpr milliseconds longestRetryInterval{15000};

const Logger& sessionLog() {
    static const Logger logger(Logger::defaultSubsystem(), "URLSession");
    return logger;
}

ErrorPtr cancelledError(const URLSessionTransfer& transfer) {
    return std::make_shared<URLError>(URLError::Code::cancelled, transfer.request().url, 0,
                                      "the session was invalidated");
}

void completeSafely(URLSessionTransfer& transfer, Result<HTTPURLResponse> outcome) noexcept {
    try {
        transfer.complete(std::move(outcome));
    } catch (...) {
        // The completion was lost (out of memory); nothing else can be done with it.
    }
}

}  // namespace

URLSessionEngine::URLSessionEngine(URLSessionConfiguration configuration)
    : configuration_(std::move(configuration)) {
    ensureCurlGlobalInit();
    multi_ = curl_multi_init();
    if (multi_ != nullptr) {
        curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS,
                          static_cast<long>(std::max(1, configuration_.maximumConnectionsPerHost)));
        curl_multi_setopt(multi_, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    } else {
        closed_ = true;
    }
}

URLSessionEngine::~URLSessionEngine() {
    // Normally `run` already cleaned up; this covers an engine whose thread never ran.
    cancelEverything();
}

void URLSessionEngine::enqueue(std::unique_ptr<URLSessionTransfer> transfer) {
    std::unique_lock lock(mutex_);
    if (stopping_ || closed_) {
        lock.unlock();
        completeSafely(*transfer, cancelledError(*transfer));
        return;
    }
    incoming_.push_back(std::move(transfer));
    if (polling_) {
        polling_ = false;
        curl_multi_wakeup(multi_);
    }
}

void URLSessionEngine::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (!closed_) curl_multi_wakeup(multi_);
}

void URLSessionEngine::run() {
    while (true) {
        std::vector<std::unique_ptr<URLSessionTransfer>> arrived;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || closed_) break;
            arrived.swap(incoming_);
        }
        for (auto& transfer : arrived) startAttempt(std::move(transfer));
        startDueWaiting();
        int running = 0;
        curl_multi_perform(multi_, &running);
        collectFinished();
        {
            std::lock_guard lock(mutex_);
            // Work that arrived meanwhile is started at once instead of after a wake-up.
            if (!incoming_.empty() || stopping_) continue;
            polling_ = true;
        }
        curl_multi_poll(multi_, nullptr, 0, pollTimeoutMilliseconds(), nullptr);
        std::lock_guard lock(mutex_);
        polling_ = false;
    }
    cancelEverything();
}

void URLSessionEngine::startAttempt(std::unique_ptr<URLSessionTransfer> transfer) {
    CURL* easy = takeHandle();
    if (easy == nullptr) {
        completeSafely(*transfer, ErrorPtr(std::make_shared<URLError>(URLError::Code::unknown, transfer->request().url,
                                                                      0, "no transfer handle could be made")));
        return;
    }
    if (auto error = transfer->attach(easy, transfer->deadline)) {
        recycleHandle(easy);
        completeSafely(*transfer, std::move(error));
        return;
    }
    if (const CURLMcode code = curl_multi_add_handle(multi_, easy); code != CURLM_OK) {
        recycleHandle(easy);
        completeSafely(*transfer, ErrorPtr(std::make_shared<URLError>(URLError::Code::unknown, transfer->request().url,
                                                                      0, curl_multi_strerror(code))));
        return;
    }
    active_.emplace(easy, std::move(transfer));
}

void URLSessionEngine::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        // The message dies with remove_handle: copy what it says first.
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        auto node = active_.extract(easy);
        curl_multi_remove_handle(multi_, easy);
        if (node.empty()) {
            recycleHandle(easy);
            continue;
        }
        auto transfer = std::move(node.mapped());
        std::optional<Result<HTTPURLResponse>> outcome;
        if (isOffline(*transfer, code)) {
            recycleHandle(easy);
            if (configuration_.waitsForConnectivity) {
                scheduleRetry(*transfer);
                waiting_.push_back(std::move(transfer));
                continue;
            }
            outcome = ErrorPtr(std::make_shared<URLError>(URLError::Code::notConnectedToInternet,
                                                          transfer->request().url, static_cast<int>(code),
                                                          "no network interface is up"));
        } else {
            try {
                outcome = transfer->outcome(easy, code);
            } catch (const std::exception& error) {
                outcome = ErrorPtr(
                    std::make_shared<URLError>(URLError::Code::unknown, transfer->request().url, 0, error.what()));
            }
            recycleHandle(easy);
        }
        completeSafely(*transfer, std::move(*outcome));
    }
}

// Waiting for connectivity: a request whose host could not be resolved or reached
// while the machine has no usable non-loopback interface is offline, not broken. With
// waitsForConnectivity the session keeps it and tries again after 1 s, then doubling
// up to 15 s, until it goes through or the resource timeout ends it with timedOut.
// Without it, the request fails at once with notConnectedToInternet. Loopback hosts
// never depend on the network, so their failures are final.
bool URLSessionEngine::isOffline(const URLSessionTransfer& transfer, CURLcode code) const {
    if (code != CURLE_COULDNT_RESOLVE_HOST && code != CURLE_COULDNT_CONNECT && code != CURLE_COULDNT_RESOLVE_PROXY) {
        return false;
    }
    return !isLoopbackHost(transfer.request().url.host()) && !hasUsableNetworkInterface();
}

void URLSessionEngine::scheduleRetry(URLSessionTransfer& transfer) {
    transfer.retryInterval = transfer.retryInterval.count() == 0
                                 ? firstRetryInterval
                                 : std::min(transfer.retryInterval * 2, longestRetryInterval);
    transfer.nextAttempt = std::min(Clock::now() + transfer.retryInterval, transfer.deadline);
    sessionLog().notice("Waiting for connectivity to %{public}s", transfer.request().url.host());
}

void URLSessionEngine::startDueWaiting() {
    if (waiting_.empty()) return;
    const auto now = Clock::now();
    std::vector<std::unique_ptr<URLSessionTransfer>> due;
    std::erase_if(waiting_, [&](std::unique_ptr<URLSessionTransfer>& transfer) {
        if (transfer->nextAttempt > now) return false;
        due.push_back(std::move(transfer));
        return true;
    });
    for (auto& transfer : due) {
        if (transfer->deadline <= now) {
            completeSafely(*transfer, ErrorPtr(std::make_shared<URLError>(
                                          URLError::Code::timedOut, transfer->request().url, 0,
                                          "the network stayed unavailable for the whole resource timeout")));
        } else {
            startAttempt(std::move(transfer));
        }
    }
}

int URLSessionEngine::pollTimeoutMilliseconds() const {
    auto timeout = milliseconds(maximumPollMilliseconds);
    const auto now = Clock::now();
    for (const auto& transfer : waiting_) {
        timeout = std::min(timeout, std::chrono::duration_cast<milliseconds>(transfer->nextAttempt - now));
    }
    return static_cast<int>(std::max<milliseconds::rep>(0, timeout.count()));
}

CURL* URLSessionEngine::takeHandle() {
    if (!idleHandles_.empty()) {
        CURL* easy = idleHandles_.back();
        idleHandles_.pop_back();
        return easy;
    }
    return curl_easy_init();
}

void URLSessionEngine::recycleHandle(CURL* easy) {
    // A reset handle keeps its caches; connections live in the multi handle's pool.
    curl_easy_reset(easy);
    if (idleHandles_.size() < maximumIdleHandles) {
        try {
            idleHandles_.push_back(easy);
            return;
        } catch (...) {
        }
    }
    curl_easy_cleanup(easy);
}

void URLSessionEngine::cancelEverything() {
    std::vector<std::unique_ptr<URLSessionTransfer>> arrived;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        arrived.swap(incoming_);
    }
    // Take the handles out first: libcurl may still point into the transfers' bodies.
    std::vector<std::unique_ptr<URLSessionTransfer>> cancelled;
    for (auto& [easy, transfer] : active_) {
        curl_multi_remove_handle(multi_, easy);
        curl_easy_cleanup(easy);
        cancelled.push_back(std::move(transfer));
    }
    active_.clear();
    for (CURL* easy : idleHandles_) curl_easy_cleanup(easy);
    idleHandles_.clear();
    if (multi_ != nullptr) {
        curl_multi_cleanup(multi_);
        multi_ = nullptr;
    }
    for (auto& transfer : waiting_) cancelled.push_back(std::move(transfer));
    waiting_.clear();
    for (auto& transfer : arrived) cancelled.push_back(std::move(transfer));
    for (auto& transfer : cancelled) completeSafely(*transfer, cancelledError(*transfer));
}

}  // namespace Platform

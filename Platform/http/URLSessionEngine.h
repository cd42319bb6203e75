#pragma once

// Internal to URLSession: the I/O thread's side of a session. Not for use outside
// Platform/http.

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "Platform/http/URLSessionConfiguration.h"
#include "Platform/http/URLSessionTransfer.h"

namespace Platform {

// Drives one libcurl multi handle from one thread (`run`). Other threads hand it
// transfers with `enqueue` and end it with `stop`; both wake the thread at once.
// Every transfer handed over is completed exactly once: with its outcome, or with
// `cancelled` when the engine stops first.
class URLSessionEngine {
public:
    explicit URLSessionEngine(URLSessionConfiguration configuration);
    ~URLSessionEngine();
    URLSessionEngine(const URLSessionEngine&) = delete;
    URLSessionEngine& operator=(const URLSessionEngine&) = delete;

    const URLSessionConfiguration& configuration() const noexcept { return configuration_; }

    // Any thread. The transfer must have been prepared.
    void enqueue(std::unique_ptr<URLSessionTransfer> transfer);
    // Any thread; `run` returns soon after, every task cancelled.
    void stop();
    // The I/O thread's body; returns after `stop`.
    void run();

private:
    using Clock = URLSessionTransfer::Clock;

    void startAttempt(std::unique_ptr<URLSessionTransfer> transfer);
    void collectFinished();
    void startDueWaiting();
    bool isOffline(const URLSessionTransfer& transfer, CURLcode code) const;
    void scheduleRetry(URLSessionTransfer& transfer);
    int pollTimeoutMilliseconds() const;
    CURL* takeHandle();
    void recycleHandle(CURL* easy);
    void cancelEverything();

    const URLSessionConfiguration configuration_;
    CURLM* multi_ = nullptr;

    // Shared with other threads.
    std::mutex mutex_;
    std::vector<std::unique_ptr<URLSessionTransfer>> incoming_;
    bool stopping_ = false;
    bool closed_ = false;  // multi_ is gone: never wake it again
    // The I/O thread is in (or about to enter) curl_multi_poll: only then does new work
    // need a wake-up. A busy loop picks the work up on its next turn.
    bool polling_ = false;

    // The I/O thread's own.
    std::unordered_map<CURL*, std::unique_ptr<URLSessionTransfer>> active_;
    std::vector<std::unique_ptr<URLSessionTransfer>> waiting_;
    std::vector<CURL*> idleHandles_;
};

}  // namespace Platform

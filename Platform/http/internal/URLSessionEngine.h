#pragma once

// Internal to URLSession: the I/O thread's side of a session. Not for use outside
// Platform/http.

#include <curl/curl.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/http/URLSessionConfiguration.h"
#include "Platform/http/internal/URLSessionTransfer.h"

namespace Platform::detail {

// Drives one libcurl multi handle from one thread (`run`) through libcurl's socket
// interface: the thread waits in epoll for the sockets libcurl names and hands it only
// the ones that are ready. Other threads hand it transfers with `enqueue`, cancel one
// through its Progress, and end it with `stop`; each wakes the thread if it sleeps.
// Every transfer handed over is completed exactly once: with its outcome, or with
// `cancelled` when it is cancelled or the engine stops first.
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
    using TimePoint = URLSessionTransfer::TimePoint;
    using EasyHandle = UniqueHandle<CURL*, &curl_easy_cleanup>;
    using MultiHandle = UniqueHandle<CURLM*, &curl_multi_cleanup>;
    using Descriptor = FileDescriptor;
    struct Active {
        EasyHandle easy;
        std::unique_ptr<URLSessionTransfer> transfer;
        std::string hostKey;  // set when it holds one of its host's admissions
    };
    // Transfers to a plain-HTTP host beyond its connection limit wait here, not in
    // libcurl: a transfer libcurl holds back redoes its whole connection setup (URL
    // parsing included) each time it is looked at.
    struct HostAdmissions {
        int active = 0;
        std::deque<std::unique_ptr<URLSessionTransfer>> queued;
    };

    // Any thread: some transfer's progress was cancelled.
    void cancellationRequested();
    // With mutex_ held: wakes the thread if it waits in epoll.
    void wakeLocked();

    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void* socketData);
    static int onTimer(CURLM* multi, long milliseconds, void* engine);
    void driveTimers();
    void dispatchReady(int timeoutMilliseconds);

    void startAttempt(std::unique_ptr<URLSessionTransfer> transfer);
    // Gives back the admission a finished transfer held and starts the next in line.
    void releaseAdmission(const std::string& hostKey);
    // Gives back an admission without starting anything (a start that failed).
    void dropAdmission(const std::string& hostKey);
    void collectFinished();
    void cancelMarkedTransfers();
    void startDueWaiting();
    bool isOffline(const URLSessionTransfer& transfer, CURLcode code) const;
    void scheduleRetry(URLSessionTransfer& transfer);
    int pollTimeoutMilliseconds() const;
    EasyHandle takeHandle();
    void recycleHandle(EasyHandle easy);
    void deliver(URLSessionTransfer& transfer, Result<HTTPURLResponse> outcome) noexcept;
    void flushDeliveries() noexcept;
    void cancelEverything();

    const URLSessionConfiguration configuration_;
    // Read once for the session's life.
    const URLSessionTransfer::ProxyLookup proxyLookup_ = URLSessionTransfer::proxyLookupFromEnvironment();
    MultiHandle multi_;
    Descriptor epoll_;
    Descriptor wakeup_;  // an eventfd in the epoll set

    // Shared with other threads.
    std::mutex mutex_;
    std::vector<std::unique_ptr<URLSessionTransfer>> incoming_;
    bool stopping_ = false;
    bool closed_ = false;  // the thread is gone or never could run: never wake it again
    bool cancelRequested_ = false;
    // The I/O thread is in (or about to enter) epoll_wait: only then does new work need a
    // wake-up. A busy loop picks the work up on its next turn.
    bool polling_ = false;

    // The I/O thread's own.
    std::unordered_map<CURL*, Active> active_;
    std::vector<std::unique_ptr<URLSessionTransfer>> waiting_;
    std::vector<EasyHandle> idleHandles_;
    std::unordered_map<std::string, HostAdmissions> hosts_;
    std::optional<TimePoint> timerDue_;  // when libcurl wants its timeout action
    // Completions of this turn, handed to the pool together.
    std::vector<std::function<void()>> deliveries_;
};

}  // namespace Platform::detail

#include "Platform/http/internal/URLSessionEngine.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "Platform/core/ASCII.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/http/internal/CurlGlobal.h"
#include "Platform/http/internal/NetworkReachability.h"
#include "Platform/log/Logger.h"

namespace Platform::detail {

namespace {

using std::chrono::milliseconds;

// Reused easy handles kept beyond this are freed.
constexpr std::size_t maximumIdleHandles = 64;
// The loop wakes at least this often even when nothing happens.
constexpr int maximumPollMilliseconds = 1000;
// Socket events taken from one epoll_wait.
constexpr int eventBatch = 64;
// Completions handed to one pool task: enough to save most wake-ups, few enough that a
// burst still spreads over the pool's threads.
constexpr std::size_t deliveriesPerTask = 16;
constexpr milliseconds firstRetryInterval{1000};
constexpr milliseconds longestRetryInterval{15000};

const Logger& sessionLog() {
    static const Logger logger(Logger::defaultSubsystem(), "URLSession");
    return logger;
}

ErrorPtr invalidatedError(const URLSessionTransfer& transfer) {
    return std::make_shared<URLError>(URLError::Code::cancelled, transfer.request().url, 0,
                                      "the session was invalidated");
}

ErrorPtr cancelledError(const URLSessionTransfer& transfer) {
    return std::make_shared<URLError>(URLError::Code::cancelled, transfer.request().url, 0, "the task was cancelled");
}

// One pool task for several completions; one that throws loses only itself.
void runAll(std::vector<std::function<void()>>& tasks) noexcept {
    for (auto& task : tasks) {
        try {
            task();
        } catch (const std::exception& error) {
            sessionLog().error("A completion threw: %{public}s", error.what());
        } catch (...) {
            sessionLog().error("A completion threw a non-standard exception");
        }
    }
}

}  // namespace

URLSessionEngine::URLSessionEngine(URLSessionConfiguration configuration)
    : configuration_(std::move(configuration)) {
    ensureCurlGlobalInit();
    multi_.reset(curl_multi_init());
    epoll_.reset(::epoll_create1(EPOLL_CLOEXEC));
    wakeup_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    epoll_event wake{.events = EPOLLIN, .data = {.fd = wakeup_.get()}};
    if (!multi_ || !epoll_ || !wakeup_ || ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wakeup_.get(), &wake) != 0) {
        closed_ = true;
        return;
    }
    CURLM* multi = multi_.get();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                      static_cast<long>(std::max(1, configuration_.maximumConnectionsPerHost)));
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &URLSessionEngine::onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, static_cast<void*>(this));
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &URLSessionEngine::onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, static_cast<void*>(this));
}

URLSessionEngine::~URLSessionEngine() {
    // Normally `run` already cleaned up; this covers an engine whose thread never ran.
    cancelEverything();
}

void URLSessionEngine::enqueue(std::unique_ptr<URLSessionTransfer> transfer) {
    // The engine outlives every transfer it was handed (each is finished before the
    // engine goes), and the progress drops the handler once finished.
    transfer->progress().setCancellationHandler([this] { cancellationRequested(); });
    std::unique_lock lock(mutex_);
    if (stopping_ || closed_) {
        lock.unlock();
        // Not through deliveries_: that batch belongs to the I/O thread.
        transfer->progress().finish();
        auto task = transfer->complete(invalidatedError(*transfer));
        if (task) ConcurrentPool::post(std::move(task));
        return;
    }
    incoming_.push_back(std::move(transfer));
    wakeLocked();
}

void URLSessionEngine::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (!closed_) {
        polling_ = true;  // wake even a busy thread: it may be about to sleep
        wakeLocked();
    }
}

void URLSessionEngine::cancellationRequested() {
    std::lock_guard lock(mutex_);
    cancelRequested_ = true;
    wakeLocked();
}

void URLSessionEngine::wakeLocked() {
    if (!polling_ || closed_) return;
    polling_ = false;
    const std::uint64_t one = 1;
    // EAGAIN means the counter is already set: the thread wakes anyway.
    (void)!::write(wakeup_.get(), &one, sizeof one);
}

void URLSessionEngine::run() {
    while (true) {
        std::vector<std::unique_ptr<URLSessionTransfer>> arrived;
        bool cancel = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || closed_) break;
            arrived.swap(incoming_);
            cancel = std::exchange(cancelRequested_, false);
        }
        for (auto& transfer : arrived) startAttempt(std::move(transfer));
        if (cancel) cancelMarkedTransfers();
        startDueWaiting();
        driveTimers();
        collectFinished();
        flushDeliveries();
        int timeout = 0;
        {
            std::lock_guard lock(mutex_);
            // Work that arrived meanwhile is started at once instead of after a wake-up.
            if (!incoming_.empty() || stopping_ || cancelRequested_) continue;
            timeout = pollTimeoutMilliseconds();
            polling_ = timeout > 0;
        }
        dispatchReady(timeout);
        collectFinished();
        flushDeliveries();
    }
    cancelEverything();
}

int URLSessionEngine::onSocket(CURL*, curl_socket_t socket, int what, void* engine, void* socketData) {
    auto& self = *static_cast<URLSessionEngine*>(engine);
    if (what == CURL_POLL_REMOVE) {
        // libcurl says so before it closes the socket.
        ::epoll_ctl(self.epoll_.get(), EPOLL_CTL_DEL, socket, nullptr);
        curl_multi_assign(self.multi_.get(), socket, nullptr);
        return 0;
    }
    epoll_event event{.events = 0, .data = {.fd = socket}};
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) event.events |= EPOLLIN;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) event.events |= EPOLLOUT;
    // The socket's data pointer marks a socket already in the epoll set.
    const bool known = socketData != nullptr;
    if (::epoll_ctl(self.epoll_.get(), known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, socket, &event) != 0) {
        if (::epoll_ctl(self.epoll_.get(), known ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, socket, &event) != 0) return -1;
    }
    if (!known) curl_multi_assign(self.multi_.get(), socket, &self);
    return 0;
}

int URLSessionEngine::onTimer(CURLM*, long milliseconds, void* engine) {
    auto& self = *static_cast<URLSessionEngine*>(engine);
    if (milliseconds < 0) {
        self.timerDue_.reset();
    } else {
        self.timerDue_ = Clock::steadyNow() + std::chrono::milliseconds(milliseconds);
    }
    return 0;
}

void URLSessionEngine::driveTimers() {
    // New transfers start from libcurl's timeout action too (their timer is due at once).
    for (int round = 0; round < 16 && timerDue_ && *timerDue_ <= Clock::steadyNow(); ++round) {
        timerDue_.reset();
        int running = 0;
        curl_multi_socket_action(multi_.get(), CURL_SOCKET_TIMEOUT, 0, &running);
    }
}

void URLSessionEngine::dispatchReady(int timeoutMilliseconds) {
    epoll_event events[eventBatch];
    const int count = ::epoll_wait(epoll_.get(), events, eventBatch, timeoutMilliseconds);
    {
        std::lock_guard lock(mutex_);
        polling_ = false;
    }
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wakeup_.get()) {
            std::uint64_t drained = 0;
            (void)!::read(fd, &drained, sizeof drained);
            continue;
        }
        int mask = 0;
        if (events[i].events & EPOLLIN) mask |= CURL_CSELECT_IN;
        if (events[i].events & EPOLLOUT) mask |= CURL_CSELECT_OUT;
        if (events[i].events & (EPOLLERR | EPOLLHUP)) mask |= CURL_CSELECT_ERR;
        int running = 0;
        curl_multi_socket_action(multi_.get(), fd, mask, &running);
    }
    driveTimers();
}

namespace {

// Plain HTTP/1.1 carries one transfer per connection, so its host's limit is a limit on
// transfers too. Over TLS, HTTP/2 may carry many on one connection: libcurl decides.
std::string admissionKey(const URL& url) {
    if (!equalsIgnoringASCIICase(url.scheme(), "http")) return {};
    return url.host() + ':' + std::to_string(url.port().value_or(80));
}

}  // namespace

void URLSessionEngine::startAttempt(std::unique_ptr<URLSessionTransfer> transfer) {
    if (transfer->progress().isCancelled()) {
        deliver(*transfer, cancelledError(*transfer));
        return;
    }
    std::string hostKey = admissionKey(transfer->request().url);
    if (!hostKey.empty()) {
        auto& host = hosts_[hostKey];
        if (host.active >= std::max(1, configuration_.maximumConnectionsPerHost)) {
            host.queued.push_back(std::move(transfer));
            return;
        }
        ++host.active;
    }
    EasyHandle easy = takeHandle();
    if (!easy) {
        deliver(*transfer, ErrorPtr(std::make_shared<URLError>(URLError::Code::unknown, transfer->request().url, 0,
                                                               "no transfer handle could be made")));
        return;
    }
    if (auto error = transfer->attach(easy.get(), transfer->deadline)) {
        recycleHandle(std::move(easy));
        deliver(*transfer, std::move(error));
        dropAdmission(hostKey);
        return;
    }
    CURL* const key = easy.get();
    auto [slot, inserted] = active_.emplace(key, Active{std::move(easy), std::move(transfer), hostKey});
    if (const CURLMcode code = curl_multi_add_handle(multi_.get(), key); code != CURLM_OK) {
        auto node = active_.extract(slot);
        recycleHandle(std::move(node.mapped().easy));
        deliver(*node.mapped().transfer,
                ErrorPtr(std::make_shared<URLError>(URLError::Code::unknown, node.mapped().transfer->request().url, 0,
                                                    curl_multi_strerror(code))));
        dropAdmission(hostKey);
    }
    (void)inserted;
}

void URLSessionEngine::dropAdmission(const std::string& hostKey) {
    if (hostKey.empty()) return;
    if (const auto found = hosts_.find(hostKey); found != hosts_.end()) --found->second.active;
}

void URLSessionEngine::releaseAdmission(const std::string& hostKey) {
    if (hostKey.empty()) return;
    const auto found = hosts_.find(hostKey);
    if (found == hosts_.end()) return;
    auto& host = found->second;
    --host.active;
    // A start that fails gives its admission back at once, so this may start several.
    while (!host.queued.empty() && host.active < std::max(1, configuration_.maximumConnectionsPerHost)) {
        auto next = std::move(host.queued.front());
        host.queued.pop_front();
        startAttempt(std::move(next));
    }
    if (host.active <= 0 && host.queued.empty()) hosts_.erase(found);
}

void URLSessionEngine::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        // The message dies with remove_handle: copy what it says first.
        CURL* const key = message->easy_handle;
        const CURLcode code = message->data.result;
        curl_multi_remove_handle(multi_.get(), key);
        auto node = active_.extract(key);
        if (node.empty()) continue;
        auto& [easy, transfer, hostKey] = node.mapped();
        std::optional<Result<HTTPURLResponse>> outcome;
        if (isOffline(*transfer, code)) {
            recycleHandle(std::move(easy));
            if (configuration_.waitsForConnectivity) {
                scheduleRetry(*transfer);
                waiting_.push_back(std::move(transfer));
                releaseAdmission(hostKey);
                continue;
            }
            outcome = ErrorPtr(std::make_shared<URLError>(URLError::Code::notConnectedToInternet,
                                                          transfer->request().url, static_cast<int>(code),
                                                          "no network interface is up"));
        } else {
            try {
                outcome = transfer->outcome(easy.get(), code);
            } catch (const std::exception& error) {
                outcome = ErrorPtr(
                    std::make_shared<URLError>(URLError::Code::unknown, transfer->request().url, 0, error.what()));
            }
            recycleHandle(std::move(easy));
        }
        deliver(*transfer, std::move(*outcome));
        releaseAdmission(hostKey);
    }
}

// Cancelled through their progress: taken out of libcurl at once (which closes a
// connection in the middle of an answer) and completed with `cancelled`.
void URLSessionEngine::cancelMarkedTransfers() {
    std::vector<std::unique_ptr<URLSessionTransfer>> cancelled;
    std::vector<std::string> released;
    for (auto slot = active_.begin(); slot != active_.end();) {
        if (!slot->second.transfer->progress().isCancelled()) {
            ++slot;
            continue;
        }
        curl_multi_remove_handle(multi_.get(), slot->first);
        cancelled.push_back(std::move(slot->second.transfer));
        released.push_back(std::move(slot->second.hostKey));
        recycleHandle(std::move(slot->second.easy));
        slot = active_.erase(slot);
    }
    const auto takeCancelled = [&](std::unique_ptr<URLSessionTransfer>& transfer) {
        if (!transfer->progress().isCancelled()) return false;
        cancelled.push_back(std::move(transfer));
        return true;
    };
    std::erase_if(waiting_, takeCancelled);
    for (auto& [key, host] : hosts_) std::erase_if(host.queued, takeCancelled);
    for (auto& transfer : cancelled) deliver(*transfer, cancelledError(*transfer));
    for (const auto& hostKey : released) releaseAdmission(hostKey);
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
    transfer.nextAttempt = std::min(Clock::steadyNow() + transfer.retryInterval, transfer.deadline);
    sessionLog().notice("Waiting for connectivity to %{public}s", transfer.request().url.host());
}

void URLSessionEngine::startDueWaiting() {
    if (waiting_.empty()) return;
    const auto now = Clock::steadyNow();
    std::vector<std::unique_ptr<URLSessionTransfer>> due;
    std::erase_if(waiting_, [&](std::unique_ptr<URLSessionTransfer>& transfer) {
        if (transfer->nextAttempt > now) return false;
        due.push_back(std::move(transfer));
        return true;
    });
    for (auto& transfer : due) {
        if (transfer->deadline <= now) {
            deliver(*transfer, ErrorPtr(std::make_shared<URLError>(
                                   URLError::Code::timedOut, transfer->request().url, 0,
                                   "the network stayed unavailable for the whole resource timeout")));
        } else {
            startAttempt(std::move(transfer));
        }
    }
}

int URLSessionEngine::pollTimeoutMilliseconds() const {
    auto timeout = milliseconds(maximumPollMilliseconds);
    const auto now = Clock::steadyNow();
    // Rounded up: waking a little early would only spin until the moment comes.
    const auto until = [&](TimePoint due) {
        return std::chrono::ceil<milliseconds>(std::max(due - now, TimePoint::duration::zero()));
    };
    if (timerDue_) timeout = std::min(timeout, until(*timerDue_));
    for (const auto& transfer : waiting_) timeout = std::min(timeout, until(transfer->nextAttempt));
    return static_cast<int>(timeout.count());
}

URLSessionEngine::EasyHandle URLSessionEngine::takeHandle() {
    if (!idleHandles_.empty()) {
        EasyHandle easy = std::move(idleHandles_.back());
        idleHandles_.pop_back();
        return easy;
    }
    EasyHandle easy(curl_easy_init());
    if (easy && URLSessionTransfer::configureHandle(easy.get(), proxyLookup_) != CURLE_OK) easy.reset();
    return easy;
}

void URLSessionEngine::recycleHandle(EasyHandle easy) {
    // Kept configured: the next attempt sets only what differs between transfers.
    // Connections live in the multi handle's pool either way.
    if (!easy) return;
    URLSessionTransfer::detach(easy.get());
    if (idleHandles_.size() < maximumIdleHandles) {
        try {
            idleHandles_.push_back(std::move(easy));
        } catch (...) {
        }
    }
}

void URLSessionEngine::deliver(URLSessionTransfer& transfer, Result<HTTPURLResponse> outcome) noexcept {
    transfer.progress().finish();
    try {
        if (auto task = transfer.complete(std::move(outcome))) deliveries_.push_back(std::move(task));
    } catch (...) {
        // The completion was lost (out of memory); nothing else can be done with it.
    }
}

void URLSessionEngine::flushDeliveries() noexcept {
    while (!deliveries_.empty()) {
        try {
            const std::size_t count = std::min(deliveries_.size(), deliveriesPerTask);
            std::vector<std::function<void()>> batch;
            if (count == deliveries_.size()) {
                batch.swap(deliveries_);
            } else {
                batch.assign(std::make_move_iterator(deliveries_.end() - static_cast<std::ptrdiff_t>(count)),
                             std::make_move_iterator(deliveries_.end()));
                deliveries_.resize(deliveries_.size() - count);
            }
            ConcurrentPool::post([batch = std::move(batch)]() mutable { runAll(batch); });
        } catch (...) {
            deliveries_.clear();  // out of memory: these completions are lost
        }
    }
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
    for (auto& [key, active] : active_) {
        curl_multi_remove_handle(multi_.get(), key);
        active.easy.reset();
        cancelled.push_back(std::move(active.transfer));
    }
    active_.clear();
    for (auto& [key, host] : hosts_) {
        for (auto& transfer : host.queued) cancelled.push_back(std::move(transfer));
    }
    hosts_.clear();
    idleHandles_.clear();
    multi_.reset();
    for (auto& transfer : waiting_) cancelled.push_back(std::move(transfer));
    waiting_.clear();
    for (auto& transfer : arrived) cancelled.push_back(std::move(transfer));
    for (auto& transfer : cancelled) deliver(*transfer, invalidatedError(*transfer));
    flushDeliveries();
}

}  // namespace Platform::detail

#include "tests/support/LoopbackServer.h"

#include <set>

#include "Platform/core/ASCII.h"

// Libraries prebuilt without ThreadSanitizer: TSan sees their memory accesses but not the
// synchronization around them, and reports races that are not there. The server library
// is one; the C++ runtime's exception_ptr reference count (an exception handed from a pool
// thread to a future's reader, then released by both) is the other.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n"
           "race:std::__exception_ptr::exception_ptr::_M_release\n";
}

namespace TestSupport {

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (Platform::equalsIgnoringASCIICase(field, name)) return value;
    }
    return std::nullopt;
}

LoopbackServer::LoopbackServer(std::chrono::seconds lifetime) : lifetime_(lifetime) {
    // Every kept-alive connection holds a worker: leave room for a session's worth.
    server_.new_task_queue = [] { return new httplib::ThreadPool(24); };
    server_.set_keep_alive_max_count(1000);
    server_.set_keep_alive_timeout(3);
    server_.set_tcp_nodelay(true);  // headers and body go in separate writes
}

LoopbackServer::~LoopbackServer() {
    stop();
}

void LoopbackServer::on(std::string_view method, const std::string& pattern, Handler handler) {
    auto recording = [this, handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
        const auto mark = request.target.find('?');
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({request.method, request.path,
                                 mark == std::string::npos ? "" : request.target.substr(mark + 1),
                                 {request.headers.begin(), request.headers.end()}, request.body, request.remote_port});
            changed_.notify_all();
        }
        if (handler) handler(request, response);
    };
    const bool all = method == "*";
    if (all || method == "GET") server_.Get(pattern, recording);
    if (all || method == "POST") server_.Post(pattern, recording);
    if (all || method == "PUT") server_.Put(pattern, recording);
    if (all || method == "PATCH") server_.Patch(pattern, recording);
    if (all || method == "DELETE") server_.Delete(pattern, recording);
}

bool LoopbackServer::start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    watchdog_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, lifetime_, [this] { return stopping_; });
        stopping_ = true;
        changed_.notify_all();
        lock.unlock();
        server_.stop();
    });
    // stop() only takes once the listener runs, and only a running listener answers. No
    // handler takes OPTIONS, so the probe is not recorded.
    httplib::Client probe("127.0.0.1", port_);
    probe.set_connection_timeout(10);
    probe.set_read_timeout(10);
    return probe.Options("/") && server_.is_running();
}

void LoopbackServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (watchdog_.joinable()) watchdog_.join();
    if (listener_.joinable()) listener_.join();
}

std::string LoopbackServer::url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::size_t LoopbackServer::connectionCount() const {
    std::lock_guard lock(mutex_);
    std::set<int> ports;
    for (const auto& request : requests_) ports.insert(request.remotePort);
    return ports.size();
}

bool LoopbackServer::waitForStop(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return stopping_; });
}

bool LoopbackServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

}  // namespace TestSupport

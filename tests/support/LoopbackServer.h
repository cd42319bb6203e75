#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace TestSupport {

// A request as the server saw it.
struct RecordedRequest {
    std::string method;
    std::string path;
    std::string query;  // raw, without the '?'
    // Sorted by name; fields sent several times keep their order.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int remotePort = 0;

    std::optional<std::string> header(std::string_view name) const;
};

// An HTTP server on 127.0.0.1 at a port the OS picks, served from its own threads.
// Register handlers, then start(). It records every request that reached a handler,
// and stops by itself on destruction or once `lifetime` has passed.
class LoopbackServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit LoopbackServer(std::chrono::seconds lifetime = std::chrono::seconds(120));
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // `method` is GET, POST, PUT, PATCH, DELETE, or "*" for all of them (HEAD goes to
    // GET); `pattern` is a regular expression for the path; a null handler answers 200
    // with no body. Before start() only.
    void on(std::string_view method, const std::string& pattern, Handler handler);
    // Returns once the server accepts connections; false when it could not listen.
    bool start();

    int port() const noexcept { return port_; }
    // "http://127.0.0.1:<port>" followed by `target`.
    std::string url(std::string_view target) const;

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Distinct client connections seen, told apart by their source ports.
    std::size_t connectionCount() const;

    // For handlers that hold a request: waits until the server stops or `limit` passes.
    bool waitForStop(std::chrono::milliseconds limit) const;
    // Waits until `count` requests arrived or `limit` passed; true when they did.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

private:
    void stop();

    httplib::Server server_;
    const std::chrono::seconds lifetime_;
    int port_ = -1;
    std::thread listener_;
    std::thread watchdog_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<RecordedRequest> requests_;
};

}  // namespace TestSupport

#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "Platform/core/ASCII.h"

namespace TestSupport {

namespace {

using namespace std::chrono_literals;

// Bounds on what a request may bring, and on connections served.
constexpr std::size_t maximumHeadLength = 1 << 20;
constexpr std::size_t maximumBodyLength = 64 << 20;
constexpr std::size_t maximumConnections = 256;
constexpr auto requestPatience = 5s;

// Sends everything; false when the client went away.
bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

RawRequest parseHead(std::string_view head) {
    RawRequest request;
    auto end = head.find("\r\n");
    request.requestLine = std::string(head.substr(0, end));
    while (end != std::string_view::npos) {
        const auto start = end + 2;
        end = head.find("\r\n", start);
        const auto line = head.substr(start, end == std::string_view::npos ? head.size() - start : end - start);
        if (line.empty()) break;
        const auto colon = line.find(':');
        auto value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        request.fields.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return request;
}

}  // namespace

std::optional<std::string> RawRequest::field(std::string_view name) const {
    for (const auto& [key, value] : fields) {
        if (Platform::equalsIgnoringASCIICase(key, name)) return value;
    }
    return std::nullopt;
}

std::string RawRequest::target() const {
    const auto first = requestLine.find(' ');
    const auto second = requestLine.find(' ', first + 1);
    return first == std::string::npos ? std::string() : requestLine.substr(first + 1, second - first - 1);
}

ScriptedServer::ScriptedServer(Responder responder, std::chrono::seconds lifetime)
    : responder_(std::move(responder)), end_(std::chrono::steady_clock::now() + lifetime) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int wake[2];
    if (!listener_ || ::pipe2(wake, O_CLOEXEC) != 0) throw std::runtime_error("ScriptedServer: no socket");
    wakeReader_.reset(wake[0]);
    wakeWriter_.reset(wake[1]);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof address;
    const int listener = listener_.get();
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 64) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("ScriptedServer: cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    (void)!::write(wakeWriter_.get(), "x", 1);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& connection : connections) connection.join();
}

std::string ScriptedServer::url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

std::vector<RawRequest> ScriptedServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t ScriptedServer::connectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

bool ScriptedServer::waitReadable(int fd, std::chrono::milliseconds limit) const {
    const auto deadline = std::min(std::chrono::steady_clock::now() + limit, end_);
    while (!stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        pollfd fds[] = {{.fd = fd, .events = POLLIN, .revents = 0}, {.fd = wakeReader_.get(), .events = POLLIN, .revents = 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0) return false;
        if (fds[1].revents != 0) return false;
        if (fds[0].revents != 0) return true;
    }
    return false;
}

void ScriptedServer::acceptLoop() {
    while (waitReadable(listener_.get(),
                        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()))) {
        FileDescriptor client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) continue;
        std::lock_guard lock(mutex_);
        if (connections_.size() >= maximumConnections) continue;  // closed as it goes
        connections_.emplace_back([this, client = std::move(client)]() mutable { serve(std::move(client)); });
    }
}

std::optional<RawRequest> ScriptedServer::readRequest(int client) const {
    std::string received;
    char buffer[16384];
    const auto readMore = [&] {
        if (!waitReadable(client, requestPatience)) return false;
        const auto got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        received.append(buffer, static_cast<std::size_t>(got));
        return true;
    };
    std::size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (received.size() > maximumHeadLength || !readMore()) return std::nullopt;
    }
    RawRequest request = parseHead(std::string_view(received).substr(0, headEnd + 2));
    const std::size_t bodyStart = headEnd + 4;
    if (const auto length = request.field("Content-Length")) {
        const std::size_t wanted = std::min<std::size_t>(std::strtoull(length->c_str(), nullptr, 10), maximumBodyLength);
        while (received.size() - bodyStart < wanted && readMore()) {
        }
    } else if (const auto coding = request.field("Transfer-Encoding"); coding && Platform::equalsIgnoringASCIICase(*coding, "chunked")) {
        while (received.find("0\r\n\r\n", bodyStart) == std::string::npos && received.size() - bodyStart < maximumBodyLength &&
               readMore()) {
        }
    }
    request.body = received.substr(bodyStart);
    return request;
}

void ScriptedServer::serve(FileDescriptor connection) {
    const int client = connection.get();
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto request = readRequest(client);
    Script script;
    if (request) {
        std::lock_guard lock(mutex_);
        requests_.push_back(*request);
    }
    if (request) script = responder_(*request);
    const auto wait = [&](std::chrono::milliseconds interval) {
        pollfd wake{.fd = wakeReader_.get(), .events = POLLIN, .revents = 0};
        return !stopping_ && ::poll(&wake, 1, static_cast<int>(interval.count())) == 0;
    };
    bool open = true;
    for (const auto& step : script) {
        if (!open) break;
        switch (step.action) {
            case ScriptStep::Action::send: open = sendAll(client, step.bytes); break;
            case ScriptStep::Action::drip:
                for (std::size_t i = 0; open && i < step.bytes.size(); ++i) {
                    open = sendAll(client, std::string_view(step.bytes).substr(i, 1)) && wait(step.interval);
                }
                break;
            case ScriptStep::Action::pause: open = wait(step.interval); break;
            case ScriptStep::Action::reset: {
                const linger abort{.l_onoff = 1, .l_linger = 0};
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                open = false;
                break;
            }
            case ScriptStep::Action::hold: {
                // Until the client closes: whatever else it sends is read and dropped.
                char sink[4096];
                while (waitReadable(client, std::chrono::hours(1)) && ::recv(client, sink, sizeof sink, 0) > 0) {
                }
                open = false;
                break;
            }
        }
    }
}

}  // namespace TestSupport

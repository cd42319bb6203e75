#include "Platform/ipc/MessageListener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/ipc/IPCError.h"
#include "Platform/ipc/internal/MessageFrame.h"
#include "Platform/ipc/internal/Socket.h"
#include "Platform/log/Logger.h"

namespace Platform {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "MessageListener");
    return instance;
}

// One peer. Replies may come from other threads, so writes and closing share a mutex.
struct Peer {
    detail::SocketDescriptor fd;
    detail::FrameReader reader;
    std::mutex writeMutex;
    bool open = true;

    void send(const std::string& frame) {
        const std::lock_guard lock(writeMutex);
        if (open && !detail::sendAll(fd.get(), frame)) ::shutdown(fd.get(), SHUT_RDWR);
    }
    // Ends the connection; the loop sees it and lets go of the peer.
    void abort() {
        const std::lock_guard lock(writeMutex);
        if (open) ::shutdown(fd.get(), SHUT_RDWR);
    }
    void close() {
        const std::lock_guard lock(writeMutex);
        open = false;
        fd.reset();
    }
};

}  // namespace

struct MessageListener::State {
    std::filesystem::path path;
    std::filesystem::path lockPath;
    MessageInterface interface;
    Handler handler;
    MessageListenerOptions options;
    detail::SocketDescriptor lock;
    detail::SocketDescriptor listening;
    detail::SocketDescriptor wake;
    std::list<std::shared_ptr<Peer>> peers;  // only the loop thread touches the list
    std::atomic<bool> stopping{false};
    std::thread thread;

    void run();
    void accept();
    void invoke(const std::string& selector, const Data& archive, Reply reply) noexcept;
    // False when the peer is to be closed.
    bool receive(const std::shared_ptr<Peer>& peer);
};

MessageListener::MessageListener(std::filesystem::path socketPath, MessageInterface interface, Handler handler,
                                 MessageListenerOptions options)
    : state_(std::make_unique<State>()) {
    auto& s = *state_;
    s.path = std::move(socketPath);
    s.lockPath = s.path.string() + ".lock";
    s.interface = std::move(interface);
    s.handler = std::move(handler);
    s.options = options;
    const auto address = detail::socketAddress(s.path);

    s.lock.reset(::open(s.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!s.lock) throw IPCError(IPCError::Code::addressUnavailable, "cannot open " + s.lockPath.string() + ": " + std::strerror(errno));
    if (::flock(s.lock.get(), LOCK_EX | LOCK_NB) != 0) {
        throw IPCError(IPCError::Code::addressInUse, "a listener already serves " + s.path.string());
    }
    // Holding the lock, whatever socket file is there was left by a listener that died.
    ::unlink(s.path.c_str());
    s.listening.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.listening ||
        ::bind(s.listening.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(s.path.c_str(), 0600) != 0 || ::listen(s.listening.get(), 16) != 0) {
        const int error = errno;
        ::unlink(s.path.c_str());
        throw IPCError(IPCError::Code::addressUnavailable, "cannot listen on " + s.path.string() + ": " + std::strerror(error));
    }
    s.wake = detail::makeWakeDescriptor();
    s.thread = std::thread([&s] { s.run(); });
}

MessageListener::~MessageListener() {
    state_->stopping = true;
    detail::wake(state_->wake.get());
    state_->thread.join();
    for (auto& peer : state_->peers) peer->close();
    ::unlink(state_->path.c_str());
    // The lock file stays: removing it would let a second listener lock a new file while
    // a third still holds the old one.
}

const std::filesystem::path& MessageListener::socketPath() const noexcept { return state_->path; }

void MessageListener::State::run() {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Peer>> polled;
    while (true) {
        fds.assign({{wake.get(), POLLIN, 0}, {listening.get(), POLLIN, 0}});
        polled.assign(peers.begin(), peers.end());
        for (const auto& peer : polled) fds.push_back({peer->fd.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            logger().fault("poll failed: %{public}s", std::strerror(errno));
            return;
        }
        if (fds[0].revents) {
            detail::drainWake(wake.get());
            if (stopping) return;
        }
        if (fds[1].revents & POLLIN) accept();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            if (!fds[i + 2].revents) continue;
            if (!receive(polled[i])) {
                polled[i]->close();
                peers.remove(polled[i]);
            }
        }
    }
}

void MessageListener::State::accept() {
    detail::SocketDescriptor fd(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) return;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
        logger().error("Refused a connection from user %{public}d", static_cast<int>(peer.uid));
        return;
    }
    if (peers.size() >= options.maxConnections) {
        logger().error("Refused a connection: %{public}zu already open", peers.size());
        return;
    }
    const auto seconds = options.sendTimeout.count() / 1000;
    const timeval timeout{.tv_sec = static_cast<time_t>(seconds),
                          .tv_usec = static_cast<suseconds_t>((options.sendTimeout.count() % 1000) * 1000)};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    auto entry = std::make_shared<Peer>();
    entry->fd = std::move(fd);
    peers.push_back(std::move(entry));
}

void MessageListener::State::invoke(const std::string& selector, const Data& archive, Reply reply) noexcept {
    try {
        handler(selector, archive, std::move(reply));
    } catch (const std::exception& error) {
        // The caller's timeout answers it; the listener goes on serving.
        logger().fault("The handler of %{public}s failed: %{public}s", selector.c_str(), error.what());
    } catch (...) {
        logger().fault("The handler of %{public}s failed", selector.c_str());
    }
}

bool MessageListener::State::receive(const std::shared_ptr<Peer>& peer) {
    char buffer[64 * 1024];
    const ssize_t n = ::recv(peer->fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
        if (peer->reader.midFrame()) logger().error("A connection ended inside a message");
        return false;
    }
    peer->reader.append(std::string_view(buffer, static_cast<std::size_t>(n)));
    try {
        while (auto frame = peer->reader.next()) {
            if (frame->kind != detail::FrameKind::call) {
                logger().error("Closed a connection that sent a reply to a listener");
                return false;
            }
            const std::string selector = interface.check(frame->payload, MessageDirection::call);
            const std::uint64_t callID = frame->callID;
            std::weak_ptr<Peer> weak = peer;
            invoke(selector, frame->payload, [weak, callID](Data archive) {
                const auto target = weak.lock();
                if (!target) return;
                try {
                    target->send(detail::encodeFrame({.kind = detail::FrameKind::reply, .callID = callID,
                                                      .payload = std::move(archive)}));
                } catch (const IPCError& error) {
                    logger().error("Dropped a reply: %{public}s", error.detail().c_str());
                    target->abort();
                }
            });
        }
    } catch (const IPCError& error) {
        logger().error("Closed a connection: %{public}s", error.detail().c_str());
        return false;
    }
    return true;
}

}  // namespace Platform

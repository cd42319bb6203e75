#include "Platform/ipc/MessageConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/ipc/IPCError.h"
#include "Platform/ipc/internal/MessageFrame.h"
#include "Platform/ipc/internal/Socket.h"

namespace Platform {

namespace {

using Clock = std::chrono::steady_clock;

struct PendingCall {
    std::string selector;
    Clock::time_point deadline;
    MessageConnection::Completion completion;
};

ErrorPtr failure(IPCError::Code code, std::string detail) {
    return std::make_shared<const IPCError>(code, std::move(detail));
}

}  // namespace

struct MessageConnection::State {
    MessageInterface interface;
    MessageConnectionOptions options;
    detail::SocketDescriptor fd;
    detail::SocketDescriptor wake;
    std::mutex mutex;
    std::map<std::uint64_t, PendingCall> pending;  // guarded by mutex
    ErrorPtr closedWith;                            // guarded by mutex; set once closed
    std::uint64_t nextCallID = 1;                   // guarded by mutex
    std::mutex writeMutex;
    std::atomic<bool> stopping{false};
    std::thread thread;

    void run();
    // Marks the connection closed and fails every waiting call with `error`.
    void close(const ErrorPtr& error);
    void deliver(detail::Frame frame);
    void expire();
};

std::shared_ptr<MessageConnection> MessageConnection::connect(const std::filesystem::path& socketPath,
                                                              MessageInterface interface,
                                                              MessageConnectionOptions options) {
    const auto address = detail::socketAddress(socketPath);
    detail::SocketDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw IPCError(IPCError::Code::addressUnavailable,
                       "cannot connect to " + socketPath.string() + ": " + std::strerror(errno));
    }
    // The path may have come from elsewhere (the session bus): only a listener of our own
    // user is talked to, as the listener takes only callers of its user.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
        throw IPCError(IPCError::Code::addressUnavailable,
                       "the listener at " + socketPath.string() + " belongs to user " + std::to_string(peer.uid));
    }
    auto state = std::make_shared<State>();
    state->interface = std::move(interface);
    state->options = options;
    state->fd = std::move(fd);
    state->wake = detail::makeWakeDescriptor();
    // The thread holds the state too, so a connection released inside one of its own
    // completions does not pull the state from under it.
    state->thread = std::thread([self = state] { self->run(); });
    return std::shared_ptr<MessageConnection>(new MessageConnection(std::move(state)));
}

MessageConnection::~MessageConnection() {
    invalidate();
    state_->stopping = true;
    detail::wake(state_->wake.get());
    if (state_->thread.get_id() == std::this_thread::get_id()) {
        state_->thread.detach();
    } else {
        state_->thread.join();
    }
}

void MessageConnection::invalidate() {
    state_->close(failure(IPCError::Code::connectionInvalid, "the connection was invalidated"));
}

void MessageConnection::send(const std::string& selector, Data archive, Completion completion) {
    auto& s = *state_;
    std::uint64_t callID = 0;
    {
        const std::lock_guard lock(s.mutex);
        callID = s.nextCallID++;
    }
    std::string frame;
    try {
        frame = detail::encodeFrame({.kind = detail::FrameKind::call, .callID = callID, .payload = std::move(archive)});
    } catch (const IPCError& error) {
        completion(error.clone());
        return;
    }
    ErrorPtr refused;
    {
        const std::lock_guard lock(s.mutex);
        if (s.closedWith) {
            refused = s.closedWith;
        } else {
            s.pending.emplace(callID, PendingCall{selector, Clock::now() + s.options.timeout, std::move(completion)});
        }
    }
    if (refused) {
        completion(refused);
        return;
    }
    // Wakes the thread so it counts the new deadline.
    detail::wake(s.wake.get());
    const std::lock_guard write(s.writeMutex);
    if (!detail::sendAll(s.fd.get(), frame)) {
        // The reader sees the same end and fails this call with the others.
        ::shutdown(s.fd.get(), SHUT_RDWR);
    }
}

void MessageConnection::State::close(const ErrorPtr& error) {
    std::map<std::uint64_t, PendingCall> failed;
    {
        const std::lock_guard lock(mutex);
        if (!closedWith) closedWith = error;
        failed.swap(pending);
    }
    {
        const std::lock_guard write(writeMutex);
        ::shutdown(fd.get(), SHUT_RDWR);
    }
    for (auto& [id, call] : failed) call.completion(error);
}

void MessageConnection::State::run() {
    detail::FrameReader reader;
    char buffer[64 * 1024];
    while (!stopping) {
        int timeout = -1;
        {
            const std::lock_guard lock(mutex);
            for (const auto& [id, call] : pending) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(call.deadline - Clock::now()).count();
                timeout = timeout < 0 ? static_cast<int>(std::max<long long>(left, 0))
                                      : std::min(timeout, static_cast<int>(std::max<long long>(left, 0)));
            }
        }
        pollfd fds[2] = {{wake.get(), POLLIN, 0}, {fd.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            close(failure(IPCError::Code::connectionInterrupted, std::string("poll: ") + std::strerror(errno)));
            return;
        }
        if (fds[0].revents) detail::drainWake(wake.get());
        if (fds[1].revents) {
            const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                close(failure(IPCError::Code::connectionInterrupted, "the listener closed the connection"));
                return;
            }
            if (n > 0) {
                reader.append(std::string_view(buffer, static_cast<std::size_t>(n)));
                try {
                    while (auto frame = reader.next()) deliver(std::move(*frame));
                } catch (const IPCError& error) {
                    close(error.clone());
                    return;
                }
            }
        }
        expire();
    }
}

void MessageConnection::State::deliver(detail::Frame frame) {
    PendingCall call;
    {
        const std::lock_guard lock(mutex);
        const auto found = pending.find(frame.callID);
        // A reply after its call timed out.
        if (found == pending.end() || frame.kind != detail::FrameKind::reply) return;
        call = std::move(found->second);
        pending.erase(found);
    }
    try {
        const std::string selector = interface.check(frame.payload, MessageDirection::reply);
        if (selector != call.selector) throw IPCError(IPCError::Code::malformedMessage, "reply to another operation");
    } catch (const IPCError& error) {
        call.completion(error.clone());
        return;
    }
    call.completion(std::move(frame.payload));
}

void MessageConnection::State::expire() {
    std::vector<PendingCall> expired;
    {
        const std::lock_guard lock(mutex);
        const auto now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->second.deadline <= now) {
                expired.push_back(std::move(it->second));
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& call : expired) {
        call.completion(failure(IPCError::Code::timedOut, "no reply to " + call.selector + " in time"));
    }
}

}  // namespace Platform

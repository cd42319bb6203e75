#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"

namespace TestSupport {

// A request as it arrived on the wire.
struct RawRequest {
    std::string requestLine;
    // In the order they came.
    std::vector<std::pair<std::string, std::string>> fields;
    // As sent: chunk framing kept.
    std::string body;

    // The first field of that name, compared without regard to letter case.
    std::optional<std::string> field(std::string_view name) const;
    // The request target, e.g. "/next".
    std::string target() const;
};

// What a ScriptedServer does on a connection once it has read the request; the
// connection is closed after the last step.
struct ScriptStep {
    enum class Action {
        send,   // the bytes, at once
        drip,   // the bytes one at a time, `interval` apart
        pause,  // nothing for `interval`
        reset,  // abort the connection: the client sees a reset, not an orderly close
        hold,   // nothing until the client closes (or the server stops)
    };
    Action action;
    std::string bytes;
    std::chrono::milliseconds interval{0};

    static ScriptStep send(std::string bytes) { return {Action::send, std::move(bytes)}; }
    static ScriptStep drip(std::string bytes, std::chrono::milliseconds interval) {
        return {Action::drip, std::move(bytes), interval};
    }
    static ScriptStep pause(std::chrono::milliseconds interval) { return {Action::pause, {}, interval}; }
    static ScriptStep reset() { return {Action::reset}; }
    static ScriptStep hold() { return {Action::hold}; }
};
using Script = std::vector<ScriptStep>;

// A TCP listener on 127.0.0.1 that answers every connection with raw bytes from a script
// (HTTP or not, well-formed or not) and records the requests. Each connection has a
// thread of its own; all of them stop on destruction or once `lifetime` has passed.
class ScriptedServer {
public:
    using Responder = std::function<Script(const RawRequest&)>;

    explicit ScriptedServer(Responder responder, std::chrono::seconds lifetime = std::chrono::seconds(60));
    // The same script for every connection.
    explicit ScriptedServer(Script script) : ScriptedServer([script](const RawRequest&) { return script; }) {}
    // One reply for every connection.
    explicit ScriptedServer(std::string reply) : ScriptedServer(Script{ScriptStep::send(std::move(reply))}) {}
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const noexcept { return port_; }
    // "http://127.0.0.1:<port>" followed by `target`.
    std::string url(std::string_view target = "/") const;

    std::vector<RawRequest> requests() const;
    std::size_t connectionCount() const;

private:
    void acceptLoop();
    using FileDescriptor = Platform::FileDescriptor;

    void serve(FileDescriptor client);
    // Waits until `fd` is readable or the server stops; false when it stopped or time ran out.
    bool waitReadable(int fd, std::chrono::milliseconds limit) const;
    std::optional<RawRequest> readRequest(int client) const;

    Responder responder_;
    const std::chrono::steady_clock::time_point end_;
    FileDescriptor listener_;
    FileDescriptor wakeReader_, wakeWriter_;  // written once to stop every wait at the same time
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<RawRequest> requests_;
};

}  // namespace TestSupport

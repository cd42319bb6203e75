#pragma once

// A caller's connection to a MessageListener:
//
//   auto connection = Platform::MessageConnection::connect(path, interface);
//   connection->send("selector", archive, [](Platform::Result<Platform::Data> reply) { ... });

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/ipc/MessageInterface.h"

namespace Platform {

struct MessageConnectionOptions {
    // How long a call waits for its reply before it fails with timedOut.
    std::chrono::milliseconds timeout{30'000};
};

class QUILLO_EXPORT MessageConnection {
public:
    // Every completion runs exactly once, on the connection's thread (or on the caller's
    // when the connection is already closed).
    using Completion = std::function<void(Result<Data> reply)>;

    // Throws IPCError (addressUnavailable) when nothing listens at `socketPath`, or the
    // process listening there is another user's (SO_PEERCRED).
    [[nodiscard]] static std::shared_ptr<MessageConnection> connect(const std::filesystem::path& socketPath,
                                                                    MessageInterface interface,
                                                                    MessageConnectionOptions options = {});
    // Fails the calls still waiting with connectionInvalid.
    ~MessageConnection();
    MessageConnection(const MessageConnection&) = delete;
    MessageConnection& operator=(const MessageConnection&) = delete;

    // Sends a call; its reply reaches `completion` once the interface has allowed every
    // value in it. Errors are IPCError: connectionInvalid, connectionInterrupted (the
    // listener went away), timedOut, malformedMessage, classNotAllowed.
    void send(const std::string& selector, Data archive, Completion completion);
    // Closes the connection; waiting calls fail with connectionInvalid.
    void invalidate();

    struct State;

private:
    explicit MessageConnection(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace Platform

#pragma once

// Serves a MessageInterface on a Unix socket to processes of the same user:
//
//   Platform::MessageListener listener(path, interface,
//       [](const std::string& selector, const Platform::Data& message, Platform::MessageListener::Reply reply) {
//           reply(answerFor(selector, message));
//       });

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/ipc/MessageInterface.h"

namespace Platform {

struct MessageListenerOptions {
    // Connections beyond this are closed at once.
    std::size_t maxConnections = 64;
    // How long a reply may wait for a peer that does not read.
    std::chrono::milliseconds sendTimeout{5'000};
};

class QUILLO_EXPORT MessageListener {
public:
    // Sends the reply archive to the caller; call it once, from any thread. A reply to a
    // caller that has gone is dropped.
    using Reply = std::function<void(Data archive)>;
    // Runs on the listener's thread for each call whose arguments the interface allows;
    // hand long work to another thread and reply from there.
    using Handler = std::function<void(const std::string& selector, const Data& archive, Reply reply)>;

    // Binds `socketPath` (mode 0600) and starts serving. A lock file beside it tells a live
    // listener from a dead one's leftover socket: the leftover is replaced, a live
    // listener is left alone. Throws IPCError: addressInUse, addressUnavailable.
    MessageListener(std::filesystem::path socketPath, MessageInterface interface, Handler handler,
                    MessageListenerOptions options = {});
    // Stops serving, closes every connection and removes the socket.
    ~MessageListener();
    MessageListener(const MessageListener&) = delete;
    MessageListener& operator=(const MessageListener&) = delete;

    const std::filesystem::path& socketPath() const noexcept;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Platform

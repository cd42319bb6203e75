#pragma once

// The socket between the application and the extension for ExtensionService calls.

#include <filesystem>
#include <memory>
#include <string_view>

#include "Common/local/ExtensionService.h"
#include "Platform/core/Export.h"
#include "Platform/ipc/MessageConnection.h"
#include "Platform/ipc/MessageListener.h"

namespace Platform::detail {
class BusSocketName;
}

namespace Common {

// Where the extension listens: "<extensionServiceName>.sock" in $XDG_RUNTIME_DIR, or in
// the application group's container when that is unset: the listener's default, and the
// caller's when the session bus names no listener. Throws
// Platform::IPCError (addressUnavailable) when neither folder exists.
[[nodiscard]] QUILLO_EXPORT std::filesystem::path extensionServiceSocketPath();

// The name the extension's listener owns on the session bus: extensionServiceName itself,
// already a valid well-known bus name. The object /com/fernwaldsky/quillo/macos/fileprovider/
// ExtensionService of the interface of the same name answers SocketPath() with the socket.
inline constexpr std::string_view extensionServiceBusName = extensionServiceName;

// Where the application finds the extension: the path the owner of extensionServiceBusName
// answers, when the session bus has one owned by a process of this user; otherwise
// extensionServiceSocketPath(). Waits at most the bus's call timeout (5 s) for each answer.
[[nodiscard]] QUILLO_EXPORT std::filesystem::path findExtensionServiceSocketPath();

// Serves `service` to the application until destroyed. Throws Platform::IPCError
// (addressInUse when another listener is alive). Also owns extensionServiceBusName on the
// session bus when there is one (or waits in line for it behind another listener), answering
// with `socketPath`; without a bus it serves the socket alone. The name goes before the socket.
class QUILLO_EXPORT ExtensionServiceListener {
public:
    explicit ExtensionServiceListener(std::shared_ptr<ExtensionService> service,
                                      const std::filesystem::path& socketPath = extensionServiceSocketPath(),
                                      Platform::MessageListenerOptions options = {});
    ~ExtensionServiceListener();
    ExtensionServiceListener(const ExtensionServiceListener&) = delete;
    ExtensionServiceListener& operator=(const ExtensionServiceListener&) = delete;

    const std::filesystem::path& socketPath() const noexcept { return listener_.socketPath(); }

private:
    Platform::MessageListener listener_;
    std::unique_ptr<Platform::detail::BusSocketName> busName_;  // destroyed first
};

// The application's side: an ExtensionService whose calls go to the extension. A lost
// extension, a timeout or a reply with a class the interface does not allow reaches the
// completion as an error (Platform::IPCError, Platform::ArchiveError or
// ExtensionServiceError), never as a hang.
class QUILLO_EXPORT ExtensionServiceConnection : public ExtensionService {
public:
    // Throws Platform::IPCError (addressUnavailable) when no extension listens. Without a
    // path it connects to findExtensionServiceSocketPath().
    [[nodiscard]] static std::shared_ptr<ExtensionServiceConnection> connect(Platform::MessageConnectionOptions options = {});
    [[nodiscard]] static std::shared_ptr<ExtensionServiceConnection> connect(const std::filesystem::path& socketPath,
                                                                            Platform::MessageConnectionOptions options = {});

    void currentTransfers(const std::string& type, const std::string& action, TransfersCompletion completion) override;
    void exportLog(ExportLogCompletion completion) override;

    explicit ExtensionServiceConnection(std::shared_ptr<Platform::MessageConnection> connection)
        : connection_(std::move(connection)) {}

private:
    std::shared_ptr<Platform::MessageConnection> connection_;
};

}  // namespace Common

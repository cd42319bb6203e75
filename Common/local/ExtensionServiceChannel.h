#pragma once

// The socket between the application and the extension for ExtensionService calls.

#include <filesystem>
#include <memory>

#include "Common/local/ExtensionService.h"
#include "Platform/core/Export.h"
#include "Platform/ipc/MessageConnection.h"
#include "Platform/ipc/MessageListener.h"

namespace Common {

// Where the extension listens: "<extensionServiceName>.sock" in $XDG_RUNTIME_DIR, or in
// the application group's container when that is unset. The one place that resolves the
// address, so another way of finding the listener can take over here. Throws
// Platform::IPCError (addressUnavailable) when neither folder exists.
[[nodiscard]] QUILLO_EXPORT std::filesystem::path extensionServiceSocketPath();

// Serves `service` to the application until destroyed. Throws Platform::IPCError
// (addressInUse when another listener is alive).
class QUILLO_EXPORT ExtensionServiceListener {
public:
    explicit ExtensionServiceListener(std::shared_ptr<ExtensionService> service,
                                      const std::filesystem::path& socketPath = extensionServiceSocketPath(),
                                      Platform::MessageListenerOptions options = {});

    const std::filesystem::path& socketPath() const noexcept { return listener_.socketPath(); }

private:
    Platform::MessageListener listener_;
};

// The application's side: an ExtensionService whose calls go to the extension. A lost
// extension, a timeout or a reply with a class the interface does not allow reaches the
// completion as an error (Platform::IPCError, Platform::ArchiveError or
// ExtensionServiceError), never as a hang.
class QUILLO_EXPORT ExtensionServiceConnection : public ExtensionService {
public:
    // Throws Platform::IPCError (addressUnavailable) when no extension listens.
    [[nodiscard]] static std::shared_ptr<ExtensionServiceConnection> connect(
        const std::filesystem::path& socketPath = extensionServiceSocketPath(),
        Platform::MessageConnectionOptions options = {});

    void currentTransfers(const std::string& type, const std::string& action, TransfersCompletion completion) override;
    void exportLog(ExportLogCompletion completion) override;

    explicit ExtensionServiceConnection(std::shared_ptr<Platform::MessageConnection> connection)
        : connection_(std::move(connection)) {}

private:
    std::shared_ptr<Platform::MessageConnection> connection_;
};

}  // namespace Common

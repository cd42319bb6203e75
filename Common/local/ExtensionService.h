#pragma once

// The service the file-provider extension offers its application:
//
//   // extension
//   Common::ExtensionServiceListener listener(std::make_shared<MyService>());
//   // application
//   auto service = Common::ExtensionServiceConnection::connect();
//   service->currentTransfers("upload", "create", [](auto transfers, auto error) { ... });

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/local/Transfer.h"
#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/ipc/MessageInterface.h"
#include "Platform/url/URL.h"

namespace Common {

// The name the extension offers the service under.
inline constexpr std::string_view extensionServiceName = "com.fernwaldsky.quillo.macos.fileprovider.ExtensionService";

// Every answer goes through the completion, exactly once; an error comes with no value.
class QUILLO_EXPORT ExtensionService {
public:
    static constexpr std::string_view currentTransfersSelector = "currentTransfersWithType:action:completionHandler:";
    static constexpr std::string_view exportLogSelector = "exportLogWithCompletionHandler:";

    using TransfersCompletion =
        std::function<void(std::optional<std::vector<std::shared_ptr<Transfer>>> transfers, Platform::ErrorPtr error)>;
    using ExportLogCompletion = std::function<void(std::optional<Platform::URL> logFile, Platform::ErrorPtr error)>;

    virtual ~ExtensionService() = default;
    virtual void currentTransfers(const std::string& type, const std::string& action, TransfersCompletion completion) = 0;
    virtual void exportLog(ExportLogCompletion completion) = 0;
};

// The operations with the classes each argument and reply position admits; built once.
[[nodiscard]] QUILLO_EXPORT const Platform::MessageInterface& extensionServiceInterface();

// An error a service answered with, as the caller receives it: the original type stays in
// the other process.
class QUILLO_EXPORT ExtensionServiceError : public Platform::ErrorType<ExtensionServiceError> {
public:
    static constexpr std::string_view defaultArchiveClassName = "Error";
    static constexpr bool supportsSecureCoding = true;

    explicit ExtensionServiceError(std::string description) : description_(std::move(description)) {}

    std::optional<std::string> errorDescription() const override { return description_; }

    void encode(Platform::KeyedArchiver& coder) const;
    static std::shared_ptr<ExtensionServiceError> decode(Platform::KeyedUnarchiver& coder);

private:
    std::string description_;
};

}  // namespace Common

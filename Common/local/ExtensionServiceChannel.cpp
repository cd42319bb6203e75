#include "Common/local/ExtensionServiceChannel.h"

#include <cstdlib>

#include "Common/auth/SharedConstants.h"
#include "Common/local/internal/ExtensionServiceMessages.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/dbus/internal/BusSocketName.h"
#include "Platform/ipc/IPCError.h"
#include "Platform/log/Logger.h"

namespace Common {

namespace {

static_assert(Platform::detail::isValidBusName(extensionServiceBusName));

const Platform::Logger& logger() {
    static const Platform::Logger instance(Platform::Logger::defaultSubsystem(), "ExtensionService");
    return instance;
}

using detail::ServiceCall;
using detail::ServiceReply;

std::shared_ptr<const ExtensionServiceError> asServiceError(const std::exception& error) {
    if (const auto* known = dynamic_cast<const Platform::Error*>(&error)) {
        return std::make_shared<const ExtensionServiceError>(known->errorDescription().value_or(known->what()));
    }
    return std::make_shared<const ExtensionServiceError>(error.what());
}

// Archives a reply; a reply that cannot be archived becomes an error reply.
Platform::Data archived(ServiceReply reply) {
    try {
        return Platform::KeyedArchiver::archivedData(reply, true);
    } catch (const Platform::ArchiveError& error) {
        ServiceReply failed{.selector = reply.selector, .error = std::make_shared<const ExtensionServiceError>(error.debugDescription())};
        return Platform::KeyedArchiver::archivedData(failed, true);
    }
}

void dispatch(ExtensionService& service, const std::string& selector, const Platform::Data& archive,
              const Platform::MessageListener::Reply& reply) {
    const auto call = Platform::KeyedUnarchiver::unarchivedObject<ServiceCall>(archive);
    if (!call) return;
    if (selector == ExtensionService::currentTransfersSelector) {
        const std::string type = call->arguments.size() > 0 ? call->arguments[0] : std::string();
        const std::string action = call->arguments.size() > 1 ? call->arguments[1] : std::string();
        service.currentTransfers(type, action, [reply, selector](auto transfers, Platform::ErrorPtr error) {
            ServiceReply answer{.selector = selector};
            if (error) {
                answer.error = asServiceError(*error);
            } else {
                answer.transfers = std::move(transfers);
            }
            reply(archived(std::move(answer)));
        });
    } else if (selector == ExtensionService::exportLogSelector) {
        service.exportLog([reply, selector](std::optional<Platform::URL> logFile, Platform::ErrorPtr error) {
            ServiceReply answer{.selector = selector};
            if (error) {
                answer.error = asServiceError(*error);
            } else if (logFile) {
                answer.logFile = detail::ArchivedURL{logFile->absoluteString()};
            }
            reply(archived(std::move(answer)));
        });
    }
}

void serve(ExtensionService& service, const std::string& selector, const Platform::Data& archive,
           const Platform::MessageListener::Reply& reply) {
    try {
        dispatch(service, selector, archive, reply);
    } catch (const std::exception& error) {
        reply(archived(ServiceReply{.selector = selector, .error = asServiceError(error)}));
    }
}

// The reply of a call, or the error that stands for it.
Platform::Result<std::shared_ptr<ServiceReply>> replyFrom(Platform::Result<Platform::Data> result) {
    if (!result) return result.error();
    try {
        auto reply = Platform::KeyedUnarchiver::unarchivedObject<ServiceReply>(result.value());
        if (!reply) throw Platform::IPCError(Platform::IPCError::Code::malformedMessage, "empty reply");
        return reply;
    } catch (const Platform::Error& error) {
        return error.clone();
    }
}

}  // namespace

std::filesystem::path extensionServiceSocketPath() {
    const std::string file = std::string(extensionServiceName) + ".sock";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        return std::filesystem::path(runtime) / file;
    }
    if (auto container = Platform::ApplicationGroupContainer::containerURL(appGroupIdentifier)) return *container / file;
    throw Platform::IPCError(Platform::IPCError::Code::addressUnavailable, "no folder for the service's socket");
}

std::filesystem::path findExtensionServiceSocketPath() {
    auto found = Platform::detail::socketPathOnBus(std::string(extensionServiceBusName));
    if (found.path) return *found.path;
    logger().debug("The extension's socket by its usual path: %{public}s", found.failure.c_str());
    return extensionServiceSocketPath();
}

const Platform::MessageInterface& extensionServiceInterface() {
    static const Platform::MessageInterface interface = [] {
        using Platform::MessageDirection;
        const std::string string(Platform::MessageClass::string);
        const std::string error(ExtensionServiceError::defaultArchiveClassName);
        Platform::MessageInterface built;
        built.setClasses({string}, ExtensionService::currentTransfersSelector, 0, MessageDirection::call);
        built.setClasses({string}, ExtensionService::currentTransfersSelector, 1, MessageDirection::call);
        built.setClasses({std::string(Platform::MessageClass::array), std::string(Transfer::defaultArchiveClassName), string},
                         ExtensionService::currentTransfersSelector, 0, MessageDirection::reply);
        built.setClasses({std::string(detail::ArchivedURL::defaultArchiveClassName)}, ExtensionService::exportLogSelector, 0,
                         MessageDirection::reply);
        // An error may answer any call.
        built.setClasses({error}, ExtensionService::currentTransfersSelector, 1, MessageDirection::reply);
        built.setClasses({error}, ExtensionService::exportLogSelector, 1, MessageDirection::reply);
        return built;
    }();
    return interface;
}

void ExtensionServiceError::encode(Platform::KeyedArchiver& coder) const { coder.encode("description", description_); }

std::shared_ptr<ExtensionServiceError> ExtensionServiceError::decode(Platform::KeyedUnarchiver& coder) {
    return std::make_shared<ExtensionServiceError>(coder.decodeString("description").value_or(""));
}

ExtensionServiceListener::ExtensionServiceListener(std::shared_ptr<ExtensionService> service,
                                                   const std::filesystem::path& socketPath,
                                                   Platform::MessageListenerOptions options)
    : listener_(socketPath, extensionServiceInterface(),
                [service = std::move(service)](const std::string& selector, const Platform::Data& archive,
                                               Platform::MessageListener::Reply reply) {
                    serve(*service, selector, archive, reply);
                },
                options) {
    auto started = Platform::detail::BusSocketName::start(std::string(extensionServiceBusName), listener_.socketPath());
    busName_ = std::move(started.name);
    if (!busName_) logger().notice("Serving without a bus name: %{public}s", started.failure.c_str());
}

ExtensionServiceListener::~ExtensionServiceListener() = default;

std::shared_ptr<ExtensionServiceConnection> ExtensionServiceConnection::connect(Platform::MessageConnectionOptions options) {
    return connect(findExtensionServiceSocketPath(), options);
}

std::shared_ptr<ExtensionServiceConnection> ExtensionServiceConnection::connect(const std::filesystem::path& socketPath,
                                                                                Platform::MessageConnectionOptions options) {
    return std::make_shared<ExtensionServiceConnection>(
        Platform::MessageConnection::connect(socketPath, extensionServiceInterface(), options));
}

void ExtensionServiceConnection::currentTransfers(const std::string& type, const std::string& action,
                                                  TransfersCompletion completion) {
    const ServiceCall call{.selector = std::string(currentTransfersSelector), .arguments = {type, action}};
    connection_->send(call.selector, Platform::KeyedArchiver::archivedData(call, true),
                      [completion = std::move(completion)](Platform::Result<Platform::Data> result) {
                          auto reply = replyFrom(std::move(result));
                          if (!reply) return completion(std::nullopt, reply.error());
                          auto& answer = *reply.value();
                          if (answer.error) return completion(std::nullopt, answer.error);
                          completion(std::move(answer.transfers), nullptr);
                      });
}

void ExtensionServiceConnection::exportLog(ExportLogCompletion completion) {
    const ServiceCall call{.selector = std::string(exportLogSelector)};
    connection_->send(call.selector, Platform::KeyedArchiver::archivedData(call, true),
                      [completion = std::move(completion)](Platform::Result<Platform::Data> result) {
                          auto reply = replyFrom(std::move(result));
                          if (!reply) return completion(std::nullopt, reply.error());
                          auto& answer = *reply.value();
                          if (answer.error) return completion(std::nullopt, answer.error);
                          if (!answer.logFile) return completion(std::nullopt, nullptr);
                          auto url = Platform::URL::parse(answer.logFile->absoluteString);
                          if (!url) {
                              return completion(std::nullopt, std::make_shared<const Platform::IPCError>(
                                                                  Platform::IPCError::Code::malformedMessage,
                                                                  "log file is not a URL"));
                          }
                          completion(std::move(url), nullptr);
                      });
}

}  // namespace Common

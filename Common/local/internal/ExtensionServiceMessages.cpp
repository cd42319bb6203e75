#include "Common/local/internal/ExtensionServiceMessages.h"

namespace Common::detail {

namespace {
constexpr std::string_view selectorKey = "selector";
constexpr std::string_view positions[] = {"0", "1"};
}  // namespace

std::shared_ptr<ArchivedURL> ArchivedURL::decode(Platform::KeyedUnarchiver& coder) {
    auto text = coder.decodeString("url");
    if (!text) return nullptr;
    return std::make_shared<ArchivedURL>(ArchivedURL{std::move(*text)});
}

void ServiceCall::encode(Platform::KeyedArchiver& coder) const {
    coder.encode(selectorKey, selector);
    for (std::size_t i = 0; i < arguments.size() && i < std::size(positions); ++i) coder.encode(positions[i], arguments[i]);
}

std::shared_ptr<ServiceCall> ServiceCall::decode(Platform::KeyedUnarchiver& coder) {
    auto call = std::make_shared<ServiceCall>();
    call->selector = coder.decodeString(selectorKey).value_or("");
    for (const auto position : positions) {
        auto argument = coder.decodeString(position);
        if (!argument) break;
        call->arguments.push_back(std::move(*argument));
    }
    return call;
}

void ServiceReply::encode(Platform::KeyedArchiver& coder) const {
    coder.encode(selectorKey, selector);
    if (transfers) {
        coder.encodeObjects(positions[0], *transfers);
    } else if (logFile) {
        coder.encodeObject(positions[0], *logFile);
    } else {
        coder.encode(positions[0], std::nullopt);
    }
    coder.encodeObject(positions[1], error);
}

std::shared_ptr<ServiceReply> ServiceReply::decode(Platform::KeyedUnarchiver& coder) {
    auto reply = std::make_shared<ServiceReply>();
    reply->selector = coder.decodeString(selectorKey).value_or("");
    if (reply->selector == ExtensionService::currentTransfersSelector) {
        reply->transfers = coder.decodeObjects<Transfer>(positions[0]);
    } else if (auto url = coder.decodeObject<ArchivedURL>(positions[0])) {
        reply->logFile = std::move(*url);
    }
    reply->error = coder.decodeObject<ExtensionServiceError>(positions[1]);
    return reply;
}

}  // namespace Common::detail

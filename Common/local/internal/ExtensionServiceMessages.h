#pragma once

// The archives that carry ExtensionService calls and replies: a root object with the
// selector and one value per position under "0", "1".

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/local/ExtensionService.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"

namespace Common::detail {

// A URL as a message value of its own class.
struct ArchivedURL {
    static constexpr std::string_view defaultArchiveClassName = "URL";
    static constexpr bool supportsSecureCoding = true;
    std::string absoluteString;

    void encode(Platform::KeyedArchiver& coder) const { coder.encode("url", absoluteString); }
    static std::shared_ptr<ArchivedURL> decode(Platform::KeyedUnarchiver& coder);
};

struct ServiceCall {
    static constexpr std::string_view defaultArchiveClassName = "ExtensionServiceCall";
    static constexpr bool supportsSecureCoding = true;
    std::string selector;
    std::vector<std::string> arguments;

    void encode(Platform::KeyedArchiver& coder) const;
    static std::shared_ptr<ServiceCall> decode(Platform::KeyedUnarchiver& coder);
};

struct ServiceReply {
    static constexpr std::string_view defaultArchiveClassName = "ExtensionServiceReply";
    static constexpr bool supportsSecureCoding = true;
    std::string selector;
    std::optional<std::vector<std::shared_ptr<Transfer>>> transfers;  // currentTransfers
    std::optional<ArchivedURL> logFile;                                // exportLog
    std::shared_ptr<const ExtensionServiceError> error;

    void encode(Platform::KeyedArchiver& coder) const;
    static std::shared_ptr<ServiceReply> decode(Platform::KeyedUnarchiver& coder);
};

}  // namespace Common::detail

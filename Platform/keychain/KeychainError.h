#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainStatus.h"

namespace Platform {

// A keychain status other than success, for callers that prefer throwing.
class QUILLO_EXPORT KeychainError : public ErrorType<KeychainError> {
public:
    explicit KeychainError(OSStatus status, std::string detail = {}) : status_(status), detail_(std::move(detail)) {}

    OSStatus status() const noexcept { return status_; }
    const std::string& detail() const noexcept { return detail_; }

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override;

private:
    OSStatus status_;
    std::string detail_;
};

}  // namespace Platform

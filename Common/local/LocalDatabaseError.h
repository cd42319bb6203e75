#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// The activity store could not start. The description is the store's own message:
// "Failed to get container url" or "Failed to connect SQLite database: " + the reason.
class QUILLO_EXPORT LocalDatabaseError : public Platform::ErrorType<LocalDatabaseError> {
public:
    enum class Code { containerUnavailable, connectionFailed };

    LocalDatabaseError(Code code, std::string message) : code_(code), message_(std::move(message)) {}

    Code code() const noexcept { return code_; }
    std::optional<std::string> errorDescription() const override { return message_; }

private:
    Code code_;
    std::string message_;
};

}  // namespace Common

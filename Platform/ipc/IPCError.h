#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why a message between two processes did not get through.
class QUILLO_EXPORT IPCError : public ErrorType<IPCError> {
public:
    enum class Code {
        addressUnavailable,     // no usable socket path, or nothing listening there
        addressInUse,           // a live listener already serves the address
        connectionInterrupted,  // the peer went away before answering
        connectionInvalid,      // the connection was closed before the call
        timedOut,               // no answer within the connection's timeout
        malformedMessage,       // a frame or archive that cannot be read
        classNotAllowed,        // a value of a class the interface does not allow there
        unknownOperation,       // an operation the interface does not describe
    };

    IPCError(Code code, std::string detail) : code_(code), detail_(std::move(detail)) {}

    Code code() const noexcept { return code_; }
    const std::string& detail() const noexcept { return detail_; }
    std::optional<std::string> errorDescription() const override { return detail_; }

private:
    Code code_;
    std::string detail_;
};

}  // namespace Platform

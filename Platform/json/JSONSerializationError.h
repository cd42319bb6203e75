#pragma once

#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// The serializer refused a value (a string that is not valid UTF-8); `detail` is its text.
class QUILLO_EXPORT JSONSerializationError : public ErrorType<JSONSerializationError> {
public:
    explicit JSONSerializationError(std::string detail) : detail_(std::move(detail)) {}

    const std::string& detail() const noexcept { return detail_; }

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override { return detail_; }

private:
    std::string detail_;
};

}  // namespace Platform

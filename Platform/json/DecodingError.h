#pragma once

#include <string>
#include <vector>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why a JSON value could not become the record asked for, and where.
class QUILLO_EXPORT DecodingError : public ErrorType<DecodingError> {
public:
    enum class Kind { keyNotFound, typeMismatch, valueNotFound, dataCorrupted };

    DecodingError(Kind kind, std::vector<std::string> codingPath, std::string debugDescription)
        : kind_(kind), codingPath_(std::move(codingPath)), debugDescription_(std::move(debugDescription)) {}

    Kind kind() const noexcept { return kind_; }
    // Keys from the root to the failing value; array elements appear as "Index N".
    const std::vector<std::string>& codingPath() const noexcept { return codingPath_; }
    const std::string& debugDescription() const noexcept { return debugDescription_; }
    // The coding path joined with ".", for log lines.
    std::string codingPathDescription() const;

    std::optional<std::string> errorDescription() const override { return debugDescription_; }
    std::optional<std::string> failureReason() const override;

private:
    Kind kind_;
    std::vector<std::string> codingPath_;
    std::string debugDescription_;
};

}  // namespace Platform

#pragma once

#include <optional>
#include <string>
#include <utility>

#include "Common/connection/HTTPServerError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Platform/core/Data.h"
#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Failures of requests to the object storage.
class QUILLO_EXPORT CloudianError : public Platform::ErrorType<CloudianError>, public HTTPServerError {
public:
    enum class Case { httpError, httpUnexpectedBody, httpUnexpectedHeader, presignedURLNotFound, unexpected };

    static CloudianError httpError(HTTPStatusCode statusCode, std::optional<std::string> description = std::nullopt) {
        return {Case::httpError, statusCode, std::move(description)};
    }
    static CloudianError httpUnexpectedBody() { return {Case::httpUnexpectedBody}; }
    static CloudianError httpUnexpectedHeader() { return {Case::httpUnexpectedHeader}; }
    static CloudianError presignedURLNotFound() { return {Case::presignedURLNotFound}; }
    static CloudianError unexpected() { return {Case::unexpected}; }

    Case kind() const noexcept { return kind_; }
    // The text carried by `httpError`, if any.
    const std::optional<std::string>& description() const noexcept { return description_; }

    std::optional<HTTPStatusCode> statusCode() const override { return statusCode_; }
    // The description's bytes: the storage's answer is only kept as that text.
    std::optional<Platform::Data> responseData() const override { return description_; }

    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const CloudianError& a, const CloudianError& b) {
        return a.kind_ == b.kind_ && a.statusCode_ == b.statusCode_ && a.description_ == b.description_;
    }

private:
    CloudianError(Case kind, std::optional<HTTPStatusCode> statusCode = std::nullopt,
                  std::optional<std::string> description = std::nullopt)
        : kind_(kind), statusCode_(statusCode), description_(std::move(description)) {}

    Case kind_;
    std::optional<HTTPStatusCode> statusCode_;
    std::optional<std::string> description_;
};

}  // namespace Common

#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Failures that arise inside the library itself, with their user-facing messages.
class QUILLO_EXPORT CommonError : public Platform::ErrorType<CommonError> {
public:
    enum class Code {
        unrecognizedEnvironment,
        failedToCreateAuthentication,
        internalError,
        volumeNotFound,
        timedOut,
        unexpected,
        unmatchedFileSize,
    };

    static CommonError unrecognizedEnvironment(std::string name) { return {Code::unrecognizedEnvironment, std::move(name)}; }
    static CommonError failedToCreateAuthentication() { return {Code::failedToCreateAuthentication}; }
    static CommonError internalError() { return {Code::internalError}; }
    static CommonError volumeNotFound() { return {Code::volumeNotFound}; }
    static CommonError timedOut() { return {Code::timedOut}; }
    static CommonError unexpected() { return {Code::unexpected}; }
    static CommonError unmatchedFileSize() { return {Code::unmatchedFileSize}; }

    Code code() const noexcept { return code_; }
    // The environment name of `unrecognizedEnvironment`; empty for the other cases.
    const std::string& environmentName() const noexcept { return name_; }

    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const CommonError& a, const CommonError& b) {
        return a.code_ == b.code_ && a.name_ == b.name_;
    }

private:
    CommonError(Code code, std::string name = {}) : code_(code), name_(std::move(name)) {}

    Code code_;
    std::string name_;
};

}  // namespace Common

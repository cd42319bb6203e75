#pragma once

#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// For callers that need a role for an entry and cannot find one; the library itself
// never raises it.
class QUILLO_EXPORT EntryError : public Platform::ErrorType<EntryError> {
public:
    enum class Code { notFoundVolumeRole };

    static EntryError notFoundVolumeRole() { return EntryError(Code::notFoundVolumeRole); }

    Code code() const noexcept { return code_; }
    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const EntryError& a, const EntryError& b) { return a.code_ == b.code_; }

private:
    explicit EntryError(Code code) : code_(code) {}
    Code code_;
};

}  // namespace Common

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Why a multipart upload could not be built or finished, where neither the service
// (RailsError) nor the storage (CloudianError) said no.
class QUILLO_EXPORT MultiPartUploadError : public Platform::ErrorType<MultiPartUploadError> {
public:
    enum class Code {
        modificationDateOutOfRange,  // its seconds are NaN, infinite or past a signed 64-bit integer
        textNotSerializable,         // a value is not valid UTF-8, so no JSON body can carry it
        checksumMismatch,            // the storage's entity tag is not the MD5 of the part sent
        fileUnreadable,              // the local file could not be opened or read
        fileChanged,                 // the local file changed size while it was being sent
    };

    explicit MultiPartUploadError(Code code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}

    Code code() const noexcept { return code_; }
    // What was refused: the date's seconds, the part number, the path.
    const std::string& detail() const noexcept { return detail_; }

    std::optional<std::string> errorDescription() const override;

private:
    Code code_;
    std::string detail_;
};

}  // namespace Common

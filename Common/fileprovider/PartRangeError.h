#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Why a byte count cannot be split into part ranges.
class QUILLO_EXPORT PartRangeError : public Platform::ErrorType<PartRangeError> {
public:
    enum class Code {
        zeroPartSize,   // parts of 0 bytes would never cover anything
        totalTooLarge,  // an offset would not fit a signed 64-bit integer
        tooManyParts,   // more ranges than PartRanges allows at once
    };

    PartRangeError(Code code, std::uint64_t total, std::uint64_t partSize)
        : code_(code), total_(total), partSize_(partSize) {}

    Code code() const noexcept { return code_; }
    std::uint64_t total() const noexcept { return total_; }
    std::uint64_t partSize() const noexcept { return partSize_; }

    std::optional<std::string> errorDescription() const override;

private:
    Code code_;
    std::uint64_t total_;
    std::uint64_t partSize_;
};

}  // namespace Common

#pragma once

#include <cstdint>
#include <vector>

#include "Platform/core/Export.h"

namespace Common {

// A half-open range of byte offsets: lowerBound included, upperBound excluded.
struct QUILLO_EXPORT PartRange {
    std::int64_t lowerBound = 0;
    std::int64_t upperBound = 0;

    std::int64_t count() const noexcept { return upperBound - lowerBound; }
    bool operator==(const PartRange&) const = default;
};

// The most ranges one split may give (16 MiB of ranges); a split into more is a
// mistake of the caller, not a plan.
inline constexpr std::uint64_t maxPartCount = 1'000'000;

// The consecutive ranges that cover `total` bytes in parts of `partSize`, the last one
// shorter when the size does not divide the total; one empty range 0..<0 for a total
// of 0. Throws PartRangeError (zeroPartSize, for any total; totalTooLarge beyond INT64_MAX,
// tooManyParts beyond maxPartCount) rather than dividing by zero or overflowing.
QUILLO_EXPORT std::vector<PartRange> ranges(std::uint64_t total, std::uint64_t partSize);

}  // namespace Common

#include "Common/fileprovider/PartRanges.h"

#include <limits>

#include "Common/fileprovider/PartRangeError.h"

namespace Common {

std::vector<PartRange> ranges(std::uint64_t total, std::uint64_t partSize) {
    using Code = PartRangeError::Code;
    if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throw PartRangeError(Code::totalTooLarge, total, partSize);
    }
    // Refused for a total of 0 too, so the caller's mistake shows on the first file.
    if (partSize == 0) throw PartRangeError(Code::zeroPartSize, total, partSize);
    if (total == 0) return {PartRange{0, 0}};

    const std::uint64_t wholeParts = total / partSize;
    const std::uint64_t remainder = total % partSize;
    if (wholeParts + (remainder != 0 ? 1 : 0) > maxPartCount) throw PartRangeError(Code::tooManyParts, total, partSize);

    // Every offset is at most `total`, so each fits std::int64_t.
    std::vector<PartRange> parts;
    parts.reserve(static_cast<std::size_t>(wholeParts + 1));
    for (std::uint64_t i = 0; i < wholeParts; ++i) {
        parts.push_back({static_cast<std::int64_t>(i * partSize), static_cast<std::int64_t>(i * partSize + partSize)});
    }
    if (remainder != 0) {
        parts.push_back({static_cast<std::int64_t>(wholeParts * partSize), static_cast<std::int64_t>(total)});
    }
    return parts;
}

}  // namespace Common

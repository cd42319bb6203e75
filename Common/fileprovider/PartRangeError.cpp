#include "Common/fileprovider/PartRangeError.h"

#include <fmt/format.h>

namespace Common {

std::optional<std::string> PartRangeError::errorDescription() const {
    switch (code_) {
        case Code::zeroPartSize: return fmt::format("Cannot split {} bytes into parts of 0 bytes.", total_);
        case Code::totalTooLarge:
            return fmt::format("{} bytes is more than a signed 64-bit offset can address.", total_);
        case Code::tooManyParts: break;
    }
    return fmt::format("Splitting {} bytes into parts of {} bytes gives too many parts.", total_, partSize_);
}

}  // namespace Common

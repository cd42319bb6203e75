#include "Common/service/MultiPartUploadError.h"

#include <fmt/format.h>

namespace Common {

std::optional<std::string> MultiPartUploadError::errorDescription() const {
    switch (code_) {
        case Code::modificationDateOutOfRange:
            return fmt::format("The modification date ({} s) cannot be sent as whole seconds.", detail_);
        case Code::textNotSerializable: return fmt::format("The {} is not valid UTF-8.", detail_);
        case Code::checksumMismatch:
            return fmt::format("Part {} arrived at the storage with other contents than were sent.", detail_);
        case Code::fileUnreadable: return fmt::format("The file {} could not be read.", detail_);
        case Code::fileChanged: break;
    }
    return fmt::format("The file {} changed while it was being uploaded.", detail_);
}

}  // namespace Common

#include "Platform/archive/ArchiveError.h"

namespace Platform {

std::optional<std::string> ArchiveError::failureReason() const {
    switch (kind_) {
        case Kind::corruptData:
        case Kind::valueOfWrongClass: return "The data couldn't be read because it isn't in the correct format.";
        case Kind::unknownClass:
        case Kind::classNotAllowed: return "The data couldn't be read because it holds a class that may not be read.";
        case Kind::secureCodingNotSupported: return "The class does not support secure coding.";
        case Kind::unencodableValue: return "The data couldn't be written because a value can't be archived.";
    }
    return std::nullopt;
}

}  // namespace Platform

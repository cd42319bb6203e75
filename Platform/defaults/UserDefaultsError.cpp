#include "Platform/defaults/UserDefaultsError.h"

namespace Platform {

std::optional<std::string> UserDefaultsError::errorDescription() const {
    const std::string suite = "\"" + suiteName_ + "\"";
    switch (kind_) {
        case Kind::invalidSuiteName: return "Invalid user defaults suite name " + suite;
        case Kind::cannotOpen: return "Cannot open the user defaults of suite " + suite + ": " + detail_;
        case Kind::corruptStore: return "The user defaults of suite " + suite + " are damaged: " + detail_;
        case Kind::invalidValue: return "Cannot store this value in the user defaults of suite " + suite + ": " + detail_;
        case Kind::busy: return "The user defaults of suite " + suite + " are held by another process: " + detail_;
        case Kind::storeFailure: return "Cannot access the user defaults of suite " + suite + ": " + detail_;
    }
    return detail_;
}

}  // namespace Platform

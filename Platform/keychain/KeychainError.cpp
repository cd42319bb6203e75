#include "Platform/keychain/KeychainError.h"

namespace Platform {

std::string keychainStatusMessage(OSStatus status) {
    switch (status) {
        case errSecSuccess: return "No error.";
        case errSecIO: return "I/O error.";
        case errSecParam: return "One or more parameters passed to a function were not valid.";
        case errSecDuplicateItem: return "The item already exists in the keychain.";
        case errSecItemNotFound: return "The item could not be found in the keychain.";
        default: return "Keychain status " + std::to_string(status) + ".";
    }
}

std::optional<std::string> KeychainError::errorDescription() const {
    return keychainStatusMessage(status_);
}

std::optional<std::string> KeychainError::failureReason() const {
    if (detail_.empty()) return std::nullopt;
    return detail_;
}

}  // namespace Platform

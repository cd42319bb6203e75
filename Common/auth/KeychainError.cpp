#include "Common/auth/KeychainError.h"

#include "Platform/keychain/KeychainStatus.h"

namespace Common {

std::optional<std::string> KeychainError::errorDescription() const {
    switch (case_) {
        case Case::keyNotFound: return "キーが見つかりません。";
        case Case::passwordNotFound: return "パスワードが見つかりません。";
        case Case::credentialNotFound: return "資格情報が見つかりません。";
    }
    return std::nullopt;
}

std::optional<std::string> KeychainError::failureReason() const {
    if (!status_) return std::nullopt;
    return Platform::keychainStatusMessage(*status_) + " (OSStatus " + std::to_string(*status_) + ")";
}

}  // namespace Common

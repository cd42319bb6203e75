#include "Common/auth/KeychainError.h"

namespace Common {

std::optional<std::string> KeychainError::errorDescription() const {
    switch (case_) {
        case Case::keyNotFound: return "キーが見つかりません。";
        case Case::passwordNotFound: return "パスワードが見つかりません。";
        case Case::credentialNotFound: return "資格情報が見つかりません。";
    }
    return std::nullopt;
}

}  // namespace Common

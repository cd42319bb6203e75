#include "Common/connection/CloudianError.h"

namespace Common {

std::optional<std::string> CloudianError::errorDescription() const {
    switch (kind_) {
        case Case::httpError: {
            auto text = "Error status " + std::to_string(static_cast<int>(statusCode_.value_or(HTTPStatusCode{})));
            if (description_) text += " " + *description_;
            return text;
        }
        case Case::httpUnexpectedBody: return "データがありません。";
        case Case::httpUnexpectedHeader: return "ヘッダーが不正です。";
        case Case::presignedURLNotFound: return "認証済みアドレスが取得できません。";
        case Case::unexpected: return "予期せぬエラーです。";
    }
    return "予期せぬエラーです。";
}

}  // namespace Common

#include "Common/connection/UncategorizedError.h"

namespace Common {

std::optional<std::string> UncategorizedError::errorDescription() const {
    switch (kind_) {
        case Case::backendUnknown: return "未知のサーバー情報です。";
        case Case::deviceRejected: return "管理者により端末の利用が制限されています";
        case Case::domainNotFound: return "ドメインが見つかりません";
        case Case::oauthTokenExpired: return "認証情報が古くなっています";
        case Case::unauthenticated: return "認証されていません";
        case Case::userInvalidRole: return "不正なユーザー種別です";
        case Case::userUnavailable: return "ユーザーを取得できません";
        case Case::enterpriseUnavailable: return "チーム情報を取得できません";
        // Empty, not absent: what() would otherwise fall back to the type's name.
        case Case::storageTypeUnsupported: return "";
        case Case::preAuthenticationParameterEmpty: return "Pre-authentication parameter was empty.";
    }
    return std::nullopt;
}

std::optional<std::string> UncategorizedError::recoverySuggestion() const {
    switch (kind_) {
        case Case::backendUnknown: return "別のドメインを指定してください。";
        case Case::deviceRejected: return "Quillo にアクセスするには、この端末を申請する必要があります。";
        case Case::domainNotFound:
        case Case::oauthTokenExpired:
        case Case::userUnavailable:
        case Case::enterpriseUnavailable: return "再度ログインしてからお試しください。";
        case Case::unauthenticated: return "ログインしてください。";
        case Case::userInvalidRole: return "別のユーザーでお試しください。";
        case Case::storageTypeUnsupported: return "";
        case Case::preAuthenticationParameterEmpty: return "Please contact your software vendor.";
    }
    return std::nullopt;
}

}  // namespace Common

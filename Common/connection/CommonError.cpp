#include "Common/connection/CommonError.h"

namespace Common {

std::optional<std::string> CommonError::errorDescription() const {
    switch (code_) {
        case Code::unrecognizedEnvironment: return "環境 " + name_ + " は認識できません。";
        case Code::failedToCreateAuthentication: return "認証情報の作成に失敗しました。";
        case Code::internalError: return "内部エラーです。";
        case Code::volumeNotFound: return "ボリュームが見つかりません。";
        case Code::timedOut: return "タイムアウトしました。";
        case Code::unexpected: return "予期せぬエラーです。";
        case Code::unmatchedFileSize: return "ファイルサイズが一致しません。";
    }
    return "予期せぬエラーです。";
}

}  // namespace Common

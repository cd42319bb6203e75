#include <gtest/gtest.h>

#include "Common/connection/CommonError.h"

namespace {

TEST(CommonError, MessagesAndNothingElse) {
    const std::pair<Common::CommonError, const char*> rows[] = {
        {Common::CommonError::unrecognizedEnvironment("dev"), "環境 dev は認識できません。"},
        {Common::CommonError::failedToCreateAuthentication(), "認証情報の作成に失敗しました。"},
        {Common::CommonError::internalError(), "内部エラーです。"},
        {Common::CommonError::volumeNotFound(), "ボリュームが見つかりません。"},
        {Common::CommonError::timedOut(), "タイムアウトしました。"},
        {Common::CommonError::unexpected(), "予期せぬエラーです。"},
        {Common::CommonError::unmatchedFileSize(), "ファイルサイズが一致しません。"},
    };
    for (const auto& [error, description] : rows) {
        EXPECT_EQ(error.errorDescription(), description);
        EXPECT_FALSE(error.failureReason()) << description;
        EXPECT_FALSE(error.recoverySuggestion()) << description;
        EXPECT_FALSE(error.helpAnchor()) << description;
    }
    EXPECT_EQ(Common::CommonError::unrecognizedEnvironment("dev").environmentName(), "dev");
}

}  // namespace

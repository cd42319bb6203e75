#include <gtest/gtest.h>

#include <unordered_set>

#include "Common/connection/CloudianError.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/UncategorizedError.h"

using namespace Common;
using Code = HTTPStatusCode;
using Type = HTTPStatusCodeResponseType;
using Reason = RailsError::Reason;

namespace {

TEST(HTTPStatusCode, RawValuesRoundTripInAscendingOrder) {
    const auto cases = Platform::allCases<Code>();
    ASSERT_EQ(cases.size(), 66u);
    int previous = 0;
    for (const auto c : cases) {
        const int raw = Platform::rawValue(c);
        EXPECT_EQ(raw, static_cast<int>(c)) << "table and enum disagree";
        EXPECT_GT(raw, previous);
        EXPECT_EQ(statusOf(raw), c);
        EXPECT_NE(responseType(c), Type::undefined) << raw;
        previous = raw;
    }
    for (const long raw : {209L, 299L, 419L, 509L, 0L, -1L, 600L, 4294967697L}) {
        EXPECT_FALSE(statusOf(raw)) << raw;
        if (raw == static_cast<int>(raw)) {
            EXPECT_FALSE(Platform::fromRawValue<Code>(static_cast<int>(raw))) << raw;
        }
    }
}

TEST(HTTPStatusCode, ResponseTypeByHundreds) {
    const std::pair<Code, Type> cases[] = {
        {Code::continue_, Type::informational},     {Code::processing, Type::informational},
        {Code::ok, Type::success},                  {Code::IMUsed, Type::success},
        {Code::multipleChoices, Type::redirection}, {Code::permenantRedirect, Type::redirection},
        {Code::badRequest, Type::clientError},      {Code::clientClosedRequest, Type::clientError},
        {Code::internalServerError, Type::serverError}, {Code::networkAuthenticationRequired, Type::serverError},
        {static_cast<Code>(99), Type::undefined},   {static_cast<Code>(600), Type::undefined},
    };
    for (const auto& [code, type] : cases) EXPECT_EQ(responseType(code), type) << static_cast<int>(code);
}

// Every error's texts; the server's errors also carry their status and body.
TEST(ErrorMessages, TextsStatusesAndBodies) {
    using U = UncategorizedError;
    struct Row {
        Platform::ErrorPtr error;
        const char* description;
        std::optional<Code> status = std::nullopt;
        std::optional<Platform::Data> data = std::nullopt;
        std::optional<std::string> suggestion = std::nullopt;
    };
    const Row rows[] = {
        {RailsError::httpError(Code::notFound).clone(), "Error status 404", Code::notFound},
        {RailsError::unauthorized("Token expired").clone(), "Error status 401 Token expired", Code::unauthorized, "Token expired"},
        {RailsError::httpError(Code::badRequest, "エラー😀").clone(), "Error status 400 エラー😀", Code::badRequest, "エラー😀"},
        {RailsError::httpError(Code::badRequest, "").clone(), "Error status 400 ", Code::badRequest, ""},
        // A body that is not well-formed UTF-8 (the validator's own cases are PercentEncodingTest's)
        // is left out of the message.
        {RailsError::httpError(Code::badGateway, "a\xE3\x81").clone(), "Error status 502", Code::badGateway, "a\xE3\x81"},
        {RailsError::httpUnexpectedBody().clone(), "データがありません。"},
        {RailsError::cannotGetDownloadURL().clone(), "ダウンロードアドレスを取得できません。"},
        {RailsError::unexpected().clone(), "予期せぬエラーです。"},
        {CloudianError::httpError(Code::notFound).clone(), "Error status 404", Code::notFound},
        {CloudianError::httpError(Code::forbidden, "AccessDenied").clone(), "Error status 403 AccessDenied", Code::forbidden, "AccessDenied"},
        {CloudianError::httpUnexpectedBody().clone(), "データがありません。"},
        {CloudianError::httpUnexpectedHeader().clone(), "ヘッダーが不正です。"},
        {CloudianError::presignedURLNotFound().clone(), "認証済みアドレスが取得できません。"},
        {CloudianError::unexpected().clone(), "予期せぬエラーです。"},
        {CommonError::unrecognizedEnvironment("dev").clone(), "環境 dev は認識できません。"},
        {CommonError::failedToCreateAuthentication().clone(), "認証情報の作成に失敗しました。"},
        {CommonError::internalError().clone(), "内部エラーです。"},
        {CommonError::volumeNotFound().clone(), "ボリュームが見つかりません。"},
        {CommonError::timedOut().clone(), "タイムアウトしました。"},
        {CommonError::unexpected().clone(), "予期せぬエラーです。"},
        {CommonError::unmatchedFileSize().clone(), "ファイルサイズが一致しません。"},
        {U::backendUnknown().clone(), "未知のサーバー情報です。", {}, {}, "別のドメインを指定してください。"},
        {U::deviceRejected().clone(), "管理者により端末の利用が制限されています", {}, {},
         "Quillo にアクセスするには、この端末を申請する必要があります。"},
        {U::domainNotFound().clone(), "ドメインが見つかりません", {}, {}, "再度ログインしてからお試しください。"},
        {U::oauthTokenExpired().clone(), "認証情報が古くなっています", {}, {}, "再度ログインしてからお試しください。"},
        {U::unauthenticated().clone(), "認証されていません", {}, {}, "ログインしてください。"},
        {U::userInvalidRole().clone(), "不正なユーザー種別です", {}, {}, "別のユーザーでお試しください。"},
        {U::userUnavailable().clone(), "ユーザーを取得できません", {}, {}, "再度ログインしてからお試しください。"},
        {U::enterpriseUnavailable().clone(), "チーム情報を取得できません", {}, {}, "再度ログインしてからお試しください。"},
        {U::storageTypeUnsupported().clone(), "", {}, {}, ""},
        {U::preAuthenticationParameterEmpty().clone(), "Pre-authentication parameter was empty.", {}, {},
         "Please contact your software vendor."},
    };
    std::unordered_set<U> distinct;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(row.error->errorDescription(), row.description);
        EXPECT_STREQ(row.error->what(), row.description);
        EXPECT_EQ(row.error->recoverySuggestion(), row.suggestion);
        EXPECT_FALSE(row.error->failureReason() || row.error->helpAnchor());
        const auto* server = dynamic_cast<const HTTPServerError*>(row.error.get());
        EXPECT_EQ(server ? server->statusCode() : std::nullopt, row.status);
        EXPECT_EQ(server ? server->responseData() : std::nullopt, row.data);
        if (const auto* uncategorized = dynamic_cast<const U*>(row.error.get())) {
            EXPECT_TRUE(distinct.insert(*uncategorized).second) << "equal to another case, or hashed alike";
        }
    }
    EXPECT_THROW(rows[1].error->raise(), RailsError);
    EXPECT_EQ(CommonError::unrecognizedEnvironment("dev").environmentName(), "dev");
    EXPECT_EQ(RailsError::unauthorized("x"), RailsError::httpError(Code::unauthorized, "x"));
    EXPECT_FALSE(RailsError::unauthorized("x") == RailsError::httpError(Code::unauthorized));
    EXPECT_FALSE(RailsError::unexpected() == RailsError::httpUnexpectedBody());
}

TEST(RailsError, ReasonPrefersTheErrorKey) {
    const auto http = [](const char* body) { return RailsError::httpError(Code::unauthorized, body); };
    const std::pair<RailsError, std::optional<Reason>> cases[] = {
        {http(R"({"error":"invalid_onetime_token","code":"request_header_has_no_uuid"})"), Reason::invalidOnetimeToken},
        {http(R"({"error":"locked_out","code":"request_header_has_no_uuid"})"), std::nullopt},
        {http(R"({"code":"request_header_has_no_uuid"})"), Reason::noUUID},
        {http(R"({"error":5,"code":"request_header_has_no_uuid"})"), Reason::noUUID},
        {http(R"({"error":null,"code":"no_device_has_been_registered"})"), Reason::notRegistered},
        {http(R"({"Error":"invalid_resource_owner"})"), std::nullopt},
        {http(R"({"code":7})"), std::nullopt},
        {http(R"(["invalid_resource_owner"])"), std::nullopt},
        {http("Token expired"), std::nullopt},
        {http(""), std::nullopt},
        {RailsError::httpError(Code::unauthorized), std::nullopt},
        {RailsError::httpUnexpectedBody(), std::nullopt},
        {RailsError::cannotGetDownloadURL(), std::nullopt},
        {RailsError::unexpected(), std::nullopt},
    };
    for (const auto& [error, reason] : cases) {
        EXPECT_EQ(error.reason(), reason) << error.responseData().value_or("(no data)");
    }
}

TEST(RailsError, EveryReasonDecodesAndOnlyDeviceReasonsRestrict) {
    const std::unordered_set<Reason> device = {Reason::wrongDigest, Reason::wrongUUID, Reason::notRegistered,
                                               Reason::noDigest,    Reason::noUUID,    Reason::notPermitted};
    for (const auto reason : Platform::allCases<Reason>()) {
        const auto raw = std::string(Platform::rawValue(reason));
        EXPECT_EQ(RailsError::httpError(Code::forbidden, R"({"error":")" + raw + "\"}").reason(), reason) << raw;
        EXPECT_EQ(isDeviceRestriction(reason), device.contains(reason)) << raw;
    }
}

TEST(RailsError, BodyDecodesTheServiceErrorRecord) {
    const WebServiceError full{"conflict", 409, "item_exists", "Already exists", "name",
                               WebServiceErrorInfo{"a (1).txt", "f_1"}};
    const WebServiceError minimal{"bad_request", 400, "invalid", "Invalid", std::nullopt, std::nullopt};
    const std::pair<const char*, std::optional<WebServiceError>> cases[] = {
        {R"({"type":"conflict","status":409,"code":"item_exists","message":"Already exists","errors":"name",)"
         R"("info":{"new_name":"a (1).txt","item_id":"f_1"}})",
         full},
        {R"({"message":"Invalid","code":"invalid","status":400,"type":"bad_request","info":null})", minimal},
        {R"({"type":"bad_request","status":400,"code":"invalid"})", std::nullopt},
        {R"({"type":"bad_request","status":"400","code":"invalid","message":"Invalid"})", std::nullopt},
        {R"({"type":"t","status":1,"code":"c","message":"m","info":{"item_id":"f_1"}})", std::nullopt},
        {"Token expired", std::nullopt},
    };
    for (const auto& [json, body] : cases) {
        EXPECT_EQ(RailsError::httpError(Code::conflict, json).body(), body) << json;
    }
    EXPECT_FALSE(RailsError::httpError(Code::conflict).body());
    EXPECT_FALSE(RailsError::unexpected().body());
}

}  // namespace

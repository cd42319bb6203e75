#include <gtest/gtest.h>

#include <unordered_set>

#include "Common/connection/CloudianError.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/UncategorizedError.h"

using namespace Common;
using Code = HTTPStatusCode;
using Type = HTTPStatusCodeResponseType;
using Reason = RailsError::Reason;

namespace {

void expectOnlyDescription(const Platform::Error& e, const std::string& label) {
    EXPECT_FALSE(e.failureReason()) << label;
    EXPECT_FALSE(e.helpAnchor()) << label;
}

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
    const std::tuple<Code, int, Type> cases[] = {
        {Code::continue_, 100, Type::informational},     {Code::processing, 102, Type::informational},
        {Code::ok, 200, Type::success},                  {Code::IMUsed, 226, Type::success},
        {Code::multipleChoices, 300, Type::redirection}, {Code::permenantRedirect, 308, Type::redirection},
        {Code::badRequest, 400, Type::clientError},      {Code::teapot, 418, Type::clientError},
        {Code::clientClosedRequest, 499, Type::clientError}, {Code::internalServerError, 500, Type::serverError},
        {Code::networkAuthenticationRequired, 511, Type::serverError},
        {static_cast<Code>(99), 99, Type::undefined},    {static_cast<Code>(600), 600, Type::undefined},
    };
    for (const auto& [code, raw, type] : cases) {
        EXPECT_EQ(static_cast<int>(code), raw);
        EXPECT_EQ(responseType(code), type) << raw;
    }
}

TEST(RailsError, MessagesAndPayloads) {
    struct Row {
        RailsError error;
        std::string description;
        std::optional<Code> status;
        std::optional<Platform::Data> data;
    };
    const Row rows[] = {
        {RailsError::httpError(Code::notFound), "Error status 404", Code::notFound, std::nullopt},
        {RailsError::unauthorized("Token expired"), "Error status 401 Token expired", Code::unauthorized, "Token expired"},
        {RailsError::httpError(Code::badRequest, "エラー😀"), "Error status 400 エラー😀", Code::badRequest, "エラー😀"},
        {RailsError::httpError(Code::badRequest, ""), "Error status 400 ", Code::badRequest, ""},
        // Bodies that are not well-formed UTF-8 are left out of the message.
        {RailsError::httpError(Code::badGateway, "\xC0\xAF"), "Error status 502", Code::badGateway, "\xC0\xAF"},
        {RailsError::httpError(Code::badGateway, "\xE0\x80\xAF"), "Error status 502", Code::badGateway, "\xE0\x80\xAF"},
        {RailsError::httpError(Code::badGateway, "\xED\xA0\x80"), "Error status 502", Code::badGateway, "\xED\xA0\x80"},
        {RailsError::httpError(Code::badGateway, "a\xE3\x81"), "Error status 502", Code::badGateway, "a\xE3\x81"},
        {RailsError::httpError(Code::badGateway, "\xF4\x90\x80\x80"), "Error status 502", Code::badGateway,
         "\xF4\x90\x80\x80"},
        {RailsError::httpError(Code::badGateway, "\x80\xFF"), "Error status 502", Code::badGateway, "\x80\xFF"},
        {RailsError::httpUnexpectedBody(), "データがありません。", std::nullopt, std::nullopt},
        {RailsError::cannotGetDownloadURL(), "ダウンロードアドレスを取得できません。", std::nullopt, std::nullopt},
        {RailsError::unexpected(), "予期せぬエラーです。", std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.error.errorDescription(), row.description);
        EXPECT_EQ(row.error.statusCode(), row.status) << row.description;
        EXPECT_EQ(row.error.responseData(), row.data) << row.description;
        EXPECT_FALSE(row.error.recoverySuggestion()) << row.description;
        expectOnlyDescription(row.error, row.description);
    }
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

TEST(RailsError, ReachableAsHTTPServerErrorThroughTheErrorRoot) {
    const Platform::ErrorPtr error = RailsError::unauthorized("Token expired").clone();
    const auto* server = dynamic_cast<const HTTPServerError*>(error.get());
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->statusCode(), Code::unauthorized);
    EXPECT_STREQ(error->what(), "Error status 401 Token expired");
    EXPECT_THROW(error->raise(), RailsError);
}

TEST(CloudianError, MessagesAndPayloads) {
    const std::tuple<CloudianError, std::string, std::optional<Code>, std::optional<Platform::Data>> rows[] = {
        {CloudianError::httpError(Code::notFound), "Error status 404", Code::notFound, std::nullopt},
        {CloudianError::httpError(Code::forbidden, "AccessDenied"), "Error status 403 AccessDenied", Code::forbidden,
         "AccessDenied"},
        {CloudianError::httpUnexpectedBody(), "データがありません。", std::nullopt, std::nullopt},
        {CloudianError::httpUnexpectedHeader(), "ヘッダーが不正です。", std::nullopt, std::nullopt},
        {CloudianError::presignedURLNotFound(), "認証済みアドレスが取得できません。", std::nullopt, std::nullopt},
        {CloudianError::unexpected(), "予期せぬエラーです。", std::nullopt, std::nullopt},
    };
    for (const auto& [error, description, status, data] : rows) {
        EXPECT_EQ(error.errorDescription(), description);
        EXPECT_EQ(error.statusCode(), status) << description;
        EXPECT_EQ(error.responseData(), data) << description;
        EXPECT_FALSE(error.recoverySuggestion()) << description;
        expectOnlyDescription(error, description);
    }
}

TEST(UncategorizedError, MessagesSuggestionsAndHashing) {
    using U = UncategorizedError;
    const std::tuple<U, const char*, const char*> rows[] = {
        {U::backendUnknown(), "未知のサーバー情報です。", "別のドメインを指定してください。"},
        {U::deviceRejected(), "管理者により端末の利用が制限されています",
         "Quillo にアクセスするには、この端末を申請する必要があります。"},
        {U::domainNotFound(), "ドメインが見つかりません", "再度ログインしてからお試しください。"},
        {U::oauthTokenExpired(), "認証情報が古くなっています", "再度ログインしてからお試しください。"},
        {U::unauthenticated(), "認証されていません", "ログインしてください。"},
        {U::userInvalidRole(), "不正なユーザー種別です", "別のユーザーでお試しください。"},
        {U::userUnavailable(), "ユーザーを取得できません", "再度ログインしてからお試しください。"},
        {U::enterpriseUnavailable(), "チーム情報を取得できません", "再度ログインしてからお試しください。"},
        {U::storageTypeUnsupported(), "", ""},
        {U::preAuthenticationParameterEmpty(), "Pre-authentication parameter was empty.",
         "Please contact your software vendor."},
    };
    std::unordered_set<U> distinct;
    for (const auto& [error, description, suggestion] : rows) {
        EXPECT_EQ(error.errorDescription(), description);
        EXPECT_STREQ(error.what(), description);
        EXPECT_EQ(error.recoverySuggestion(), suggestion) << description;
        expectOnlyDescription(error, description);
        EXPECT_TRUE(distinct.insert(error).second) << description;
        EXPECT_TRUE(distinct.contains(U(error))) << description;
    }
}

}  // namespace

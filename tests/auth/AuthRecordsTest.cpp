#include <gtest/gtest.h>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/DeviceSecret.h"
#include "Common/auth/TarnEnterprise.h"
#include "Common/auth/TarnKnockParameter.h"
#include "Common/auth/TarnUser.h"
#include "Common/connection/CommonError.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/url/PercentEncoding.h"
#include "tests/support/Failures.h"

using namespace Common;
using Platform::DecodingError;
using Platform::JSONDecoder;

namespace {

const JSONDecoder api = JSONDecoder::forAPIResponse();

std::shared_ptr<const Credential> credentialFrom(const std::string& json) {
    return api.decode<std::shared_ptr<const Credential>>(json);
}

TEST(Credential, DecodesTheTokenAnswer) {
    const auto before = Platform::Date::now();
    const auto credential = credentialFrom(
        R"({"access_token":"a","token_type":"bearer","refresh_token":"r","expires_in":3600,"login":"u","email":null})");
    const auto after = Platform::Date::now();
    EXPECT_EQ(credential->bearerToken(), "Bearer a");
    EXPECT_EQ(credential->refreshToken(), "r");
    EXPECT_FALSE(credential->email().has_value());
    EXPECT_GE(credential->expiration(), before.addingTimeInterval(3600));
    EXPECT_LE(credential->expiration(), after.addingTimeInterval(3600));
    EXPECT_FALSE(credential->isExpired());

    for (const char* noExpiry : {R"("expires_in":null,)", ""}) {
        const auto forever = credentialFrom(std::string(R"({"access_token":"a","token_type":"x","refresh_token":"r",)") +
                                            noExpiry + R"("login":"u","email":"e@x"})");
        EXPECT_EQ(forever->expiration(), Platform::Date::distantFuture());
        EXPECT_EQ(forever->email(), "e@x");
    }
    const std::pair<const char*, DecodingError::Kind> failures[] = {
        {R"({"access_token":"a","token_type":"x","refresh_token":"r","login":"u"})", DecodingError::Kind::keyNotFound},
        {R"({"token_type":"x","refresh_token":"r","login":"u","email":null})", DecodingError::Kind::keyNotFound},
        {R"({"access_token":"a","token_type":"x","refresh_token":"r","expires_in":"1","login":"u","email":null})",
         DecodingError::Kind::typeMismatch},
        {R"({"access_token":"a","token_type":"x","refresh_token":"r","expires_in":1.5,"login":"u","email":null})",
         DecodingError::Kind::dataCorrupted},
    };
    for (const auto& [json, kind] : failures) {
        EXPECT_EQ(TestSupport::decodingFailure<std::shared_ptr<const Credential>>(json), kind) << json;
    }
}

// Splits a form body the way a server does: pairs at "&", name and value at the first
// "=", then percent-decoding. (A server would read "+" as a blank; none is ever sent.)
std::vector<std::pair<std::string, std::string>> parseForm(std::string_view body) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t start = 0; start <= body.size();) {
        const auto end = std::min(body.find('&', start), body.size());
        const auto pair = body.substr(start, end - start);
        const auto eq = std::min(pair.find('='), pair.size());
        pairs.emplace_back(Platform::removingPercentEncoding(pair.substr(0, eq)).value_or("?"),
                           Platform::removingPercentEncoding(pair.substr(std::min(eq + 1, pair.size()))).value_or("?"));
        start = end + 1;
    }
    return pairs;
}

TEST(CredentialParameter, FormBodiesArriveIntact) {
    using P = WebService::CredentialParameter;
    EXPECT_EQ(P().httpRequestLine(), "POST /oauth/token");

    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const std::tuple<Platform::Data, Pairs> rows[] = {
        {P::dataForCreate("c1", "s1", {"a+b&c", "p&ss+w=rd%"}, std::nullopt, std::nullopt),
         {{"client_id", "c1"}, {"client_secret", "s1"}, {"grant_type", "password"}, {"scope", ""},
          {"username", "a+b&c"}, {"password", "p&ss+w=rd%"}, {"enterprise_account", ""}}},
        {P::dataForCreate("c", "s", {"日本 user", "x y#z"}, "team&co", "12 34"),
         {{"client_id", "c"}, {"client_secret", "s"}, {"grant_type", "password"}, {"scope", ""},
          {"username", "日本 user"}, {"password", "x y#z"}, {"enterprise_account", "team&co"},
          {"onetime_token", "12 34"}}},
        {P::dataForRefresh("r+/=&%"), {{"grant_type", "refresh_token"}, {"refresh_token", "r+/=&%"}}},
    };
    for (const auto& [body, expected] : rows) {
        EXPECT_EQ(parseForm(body), expected) << body;
        EXPECT_EQ(body.find('+'), std::string::npos) << body;
    }
    EXPECT_THROW(P::dataForCreate("c", "s", {"u", std::string("\xff", 1)}, std::nullopt, std::nullopt), CommonError);
    EXPECT_THROW(P::dataForRefresh(std::string("\xc3", 1)), CommonError);
}

TEST(DeviceSecret, TextFormAndEquality) {
    auto secret = [](const std::string& json) { return api.decode<DeviceSecret>(json); };
    const auto a = secret(R"({"digest":"d","host":"h","login":"l"})");
    EXPECT_EQ(a.description(), "<DeviceSecret :{ digest=d, host=h, login=l, email=nil}>");
    EXPECT_EQ(secret(R"({"digest":"d","host":"h","login":"l","email":"e"})").description(),
              "<DeviceSecret :{ digest=d, host=h, login=l, email=e}>");

    const std::tuple<const char*, const char*, bool> pairs[] = {
        {R"({"digest":"d","host":"h","login":"l","email":"x"})", R"({"digest":"d","host":"h","login":"l"})", true},
        {R"({"digest":"d","host":"h","login":"l1","email":"e"})", R"({"digest":"d","host":"h","login":"l2","email":"e"})", true},
        {R"({"digest":"d","host":"h","login":"l1","email":"e"})", R"({"digest":"d","host":"h","login":"l2"})", false},
        {R"({"digest":"d","host":"h","login":"l1"})", R"({"digest":"d","host":"h","login":"l2"})", false},
        {R"({"digest":"d","host":"h1","login":"l"})", R"({"digest":"d","host":"h2","login":"l"})", false},
        {R"({"digest":"d1","host":"h","login":"l"})", R"({"digest":"d2","host":"h","login":"l"})", false},
    };
    for (const auto& [lhs, rhs, equal] : pairs) {
        EXPECT_EQ(secret(lhs) == secret(rhs), equal) << lhs << " vs " << rhs;
        EXPECT_EQ(secret(rhs) == secret(lhs), equal) << rhs << " vs " << lhs;
    }
    EXPECT_THROW(secret(R"({"digest":"d","login":"l"})"), DecodingError);
}

TEST(TarnKnock, QueryAndAnswer) {
    const std::tuple<const char*, std::uint64_t, const char*, const char*> rows[] = {
        {"a+b&c.txt", 42, "01", "GET /items/knock?size=42&knock_id=0&type=file&api_version=6&name=a%2Bb%26c.txt"},
        {"r.txt", 0, "010", "GET /items/knock?size=0&knock_id=010&type=file&api_version=6&name=r.txt"},
        {"\xff", 1, "9", "GET /items/knock?size=1&knock_id=9&type=file&api_version=6"},
    };
    for (const auto& [name, size, parent, line] : rows) {
        EXPECT_EQ(WebService::TarnKnockParameter(name, size, parent).httpRequestLine(), line);
    }
    EXPECT_EQ(api.decode<TarnKnockResult>("{}"), TarnKnockResult{});
    const auto taken = api.decode<TarnKnockResult>(R"({"code":"item_exists_error","info":{"new_name":"a (1).txt"}})");
    EXPECT_EQ(taken.info->newName, "a (1).txt");
    EXPECT_FALSE(taken.itemExists());
    EXPECT_TRUE(api.decode<TarnKnockResult>(R"({"code":"other"})").itemExists());
    EXPECT_THROW(api.decode<TarnKnockResult>(R"({"info":{}})"), DecodingError);
}

TEST(TarnUser, RolesAndEnterpriseStorage) {
    struct Row {
        const char* role;
        bool guest, partner, visitor;
    };
    const Row rows[] = {{"partner", false, true, true}, {"visitor", true, false, true},
                        {"owner", false, false, false}, {"general", false, false, false}};
    for (const auto& row : rows) {
        const auto user = api.decode<TarnUser>(std::string(R"({"id":1,"account_id":2,"role":")") + row.role + "\"}");
        EXPECT_EQ(user.isGuest(), row.guest) << row.role;
        EXPECT_EQ(user.isPartner(), row.partner) << row.role;
        EXPECT_EQ(user.isVisitor(), row.visitor) << row.role;
    }
    const auto bare = api.decode<TarnUser>(R"({"id":1,"account_id":2,"role":null})");
    EXPECT_FALSE(bare.role() || bare.type() || bare.login() || bare.isVisitor());
    EXPECT_THROW(api.decode<TarnUser>(R"({"id":1,"account_id":2,"role":"admin"})"), DecodingError);
    EXPECT_THROW(api.decode<TarnUser>(R"({"id":1})"), DecodingError);
    EXPECT_EQ(WebService::AuthenticatedUserParameter().httpRequestLine(), "GET /users/me?api_version=3");

    const std::pair<const char*, StorageType> storage[] = {
        {"OBJECT STORAGE", StorageType::object}, {"object storage", StorageType::block},
        {"BLOCK STORAGE", StorageType::block},   {"", StorageType::block}};
    for (const auto& [text, type] : storage) {
        const auto enterprise = api.decode<TarnEnterprise>(
            std::string(R"({"account":"a","domain":"d","id":3,"logo":true,"name":"n","storage_type":")") + text + "\"}");
        EXPECT_EQ(enterprise.storageType(), type) << text;
    }
    EXPECT_THROW(api.decode<TarnEnterprise>(R"({"account":"a","domain":"d","id":3,"name":"n","storage_type":""})"),
                 DecodingError);
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <set>

#include "Common/connection/APIRequest.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/QuilloBackend.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/LSParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/TrashParameter.h"
#include "Platform/url/PercentEncoding.h"

using namespace Common;
using Platform::URLQueryItem;

namespace {

struct Nothing {};

struct ListParameter : APIEndpoint<ListParameter, Nothing> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/:id/ls";
    ListParameter(std::string id, std::vector<URLQueryItem> query)
        : APIEndpoint(true, false, std::move(query)), id_(std::move(id)) {}
    const std::string& identifier() const { return id_; }
    std::string id_;
};

struct TokenParameter : APIEndpoint<TokenParameter, Nothing> {
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/oauth/token";
    TokenParameter() : APIEndpoint(false, false) {}
};

struct VolumesParameter : APIEndpoint<VolumesParameter, Nothing> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/users/me/my_volumes";
    VolumesParameter() : APIEndpoint(true, true) {}
};

struct BadPath : APIEndpoint<BadPath, Nothing> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "no-slash";
    BadPath() : APIEndpoint(false, false) {}
};

static_assert(APIParameterType<ListParameter>);

TEST(APIParameter, PathsAndRequestLines) {
    const std::tuple<std::string, std::vector<URLQueryItem>, std::string> rows[] = {
        {"abc", {}, "GET /folders/abc/ls"},
        {"12", {{"offset", "0"}, {"limit", "100"}}, "GET /folders/12/ls?offset=0&limit=100"},
        {"x:idy", {{"latest", std::nullopt}}, "GET /folders/x:idy/ls?latest"},
    };
    for (const auto& [id, query, line] : rows) {
        EXPECT_EQ(ListParameter(id, query).httpRequestLine(), line);
    }
    EXPECT_EQ(TokenParameter().httpRequestLine(), "POST /oauth/token");
    EXPECT_EQ(fillingIdentifier("/a/:id/b/:id", ":id"), "/a/:id/b/:id");
    EXPECT_EQ(fillingIdentifier("/files/:id/token", "abc"), "/files/abc/token");
}

TEST(APIRequest, BuildsURLHeadersAndRequest) {
    const APIServer server{"http", "api.local.test", 3000};
    const auto keyword = Platform::addingPercentEncoding("a+b&c d").value();
    const ListParameter list("7", {{"q", keyword}});
    const auto url = apiRequestURL(server, list);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), "http://api.local.test:3000/folders/7/ls?q=a%2Bb%26c%20d");

    using Headers = std::vector<std::pair<std::string, std::optional<std::string>>>;
    EXPECT_EQ(apiRequestHeaders(list, "tok"), (Headers{{"Authorization", "Bearer tok"}}));
    EXPECT_EQ(apiRequestHeaders(list, std::nullopt), Headers{});
    EXPECT_EQ(apiRequestHeaders(VolumesParameter(), "t"),
              (Headers{{"Content-Type", "application/json; charset=UTF-8"}, {"Authorization", "Bearer t"}}));
    EXPECT_TRUE(apiRequestHeaders(TokenParameter(), "t").empty()) << "the token endpoint never carries a bearer token";
    // A header without a value adds nothing.
    EXPECT_EQ(makeURLRequest(*url, {}, apiRequestTimeoutInterval, std::nullopt, "GET", {{"A", "1"}, {"B", std::nullopt}})
                  .allHTTPHeaderFields,
              (std::vector<std::pair<std::string, std::string>>{{"A", "1"}}));

    // A path that is not one cannot become a URL: the pipeline fails before sending.
    EXPECT_FALSE(apiRequestURL(server, BadPath()).has_value());
}


// Every endpoint type whose path holds an identifier.
const struct {
    const char* name;
    std::function<std::unique_ptr<APIParameter>(const std::string&)> make;
} identifiedEndpoints[] = {
    {"listing", [](const std::string& id) { return std::make_unique<WebService::LSParameter>(id, 0, 100); }},
    {"item", [](const std::string& id) { return std::make_unique<WebService::TarnItemParameter>(id); }},
    {"test template", [](const std::string& id) { return std::make_unique<ListParameter>(id, std::vector<URLQueryItem>{}); }},
    {"rename", [](const std::string& id) { return std::make_unique<WebService::RenameParameter>(id, Platform::ContentType::folder()); }},
    {"trash", [](const std::string& id) { return std::make_unique<WebService::TrashParameter>(id, Platform::ContentType::delimitedText()); }},
    {"download ticket", [](const std::string& id) { return std::make_unique<WebService::DownloadParameter>(id); }},
    {"thumbnail", [](const std::string& id) { return std::make_unique<WebService::FetchThumbnailParameter>(id); }},
};

TEST(APIRequest, IdentifiersCannotLeaveTheirPathSegment) {
    enum class Outcome { sent, refused };
    const struct {
        const char* name;
        std::string identifier;
        Outcome outcome;
    } identifiers[] = {
        {"digits", "12345", Outcome::sent},
        {"personal folder", "01", Outcome::sent},
        {"dots inside", "a..b", Outcome::sent},
        {"three dots", "...", Outcome::sent},
        {"other escape", "a%20b", Outcome::sent},
        {"empty", "", Outcome::refused},
        {"dot", ".", Outcome::refused},
        {"dot dot", "..", Outcome::refused},
        {"climbing to another endpoint", "../../admin", Outcome::refused},
        {"slash inside", "12/34", Outcome::refused},
        {"trailing slash", "12/", Outcome::refused},
        {"escaped dot dot", "%2e%2E", Outcome::refused},
        {"half escaped dot dot", ".%2e", Outcome::refused},
        {"escaped slash", "12%2F34", Outcome::refused},
        {"escaped slash, lower case", "12%2f34", Outcome::refused},
        {"escaped backslash", "..%5c..", Outcome::refused},
        {"backslash", "a\\b", Outcome::refused},
        {"blank (refused by URL building)", "a b", Outcome::refused},
    };
    const APIServer server{"http", "api.local.test", 3000};
    for (const auto& endpoint : identifiedEndpoints) {
        for (const auto& row : identifiers) {
            SCOPED_TRACE(std::string(endpoint.name) + ": " + row.name);
            const auto parameter = endpoint.make(row.identifier);
            const auto url = apiRequestURL(server, *parameter);
            EXPECT_EQ(url.has_value(), row.outcome == Outcome::sent);
            EXPECT_EQ(parameter->hasAcceptableIdentifier(), row.outcome == Outcome::sent || row.identifier == "a b");
            if (url) {
                EXPECT_EQ(url->path(), parameter->endpoint()) << "the path goes out as filled in";
            }
        }
    }
}

using Common::CommonError;
using Common::QuilloBackend;
using Domain = QuilloBackend::Domain;

TEST(QuilloBackend, EnvironmentTable) {
    const std::string production(Platform::rawValue(Domain::production));
    struct Row {
        Domain domain;
        std::string scheme;
        std::optional<int> port;
    };
    const Row rows[] = {
        {Domain::local, "http", 3000},
        {Domain::staging, "https", std::nullopt},
        {Domain::production, "https", std::nullopt},
        {Domain::tfc, "https", std::nullopt},
    };
    std::set<std::string> identities;
    const std::regex hex64("[0-9a-f]{64}");
    for (const auto& row : rows) {
        const QuilloBackend backend(row.domain);
        const std::string hostName(Platform::rawValue(row.domain));
        SCOPED_TRACE(hostName);
        ASSERT_TRUE(backend.baseURL().has_value());
        EXPECT_EQ(backend.scheme(), row.scheme);
        EXPECT_EQ(backend.host(), "api." + hostName);
        EXPECT_EQ(backend.port(), row.port);
        EXPECT_EQ(backend.baseURL()->path().find_first_not_of('/'), std::string::npos) << "no path";
        EXPECT_TRUE(std::regex_match(backend.clientID(), hex64));
        EXPECT_TRUE(std::regex_match(backend.clientSecret(), hex64));
        identities.insert(backend.clientID());
        identities.insert(backend.clientSecret());

        const auto page = backend.pageURL("/settings");
        ASSERT_TRUE(page.has_value());
        EXPECT_EQ(page->host(), hostName) << "pages live on the bare host";
        EXPECT_EQ(page->port(), row.port);
        EXPECT_EQ(page->path(), "/settings");

        if (row.domain != Domain::production) {
            EXPECT_EQ(hostName.substr(hostName.find('.') + 1), production) << "one more leading label";
        }
        EXPECT_EQ(QuilloBackend(hostName), backend);
        EXPECT_EQ(Common::backend({.identifier = hostName}), backend);
    }
    EXPECT_EQ(identities.size(), 8u) << "each environment has its own identifier and secret";
}

TEST(QuilloBackend, UnknownNamesAreRefused) {
    std::string upper(Platform::rawValue(Domain::production));
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : std::vector<std::string>{"", "dev", upper, std::string(Platform::rawValue(Domain::local)) + " "}) {
        try {
            QuilloBackend backend(name);
            ADD_FAILURE() << "accepted " << name;
        } catch (const CommonError& e) {
            EXPECT_EQ(e, CommonError::unrecognizedEnvironment(name));
            EXPECT_EQ(e.errorDescription(), "環境 " + name + " は認識できません。");
        }
        EXPECT_FALSE(Common::backend({.identifier = name}).has_value());
    }
}

TEST(QuilloBackend, ItemLinks) {
    const Platform::FileProviderDomain domain{.identifier = "quillo.example.com"};
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"01", "https://quillo.example.com/f/0", "https://quillo.example.com/f/01"},
        {"0", "https://quillo.example.com/f/0", "https://quillo.example.com/f/0"},
        {"12345", "https://quillo.example.com/f/12345", "https://quillo.example.com/f/12345"},
    };
    for (const auto& [identifier, viaDomain, viaHost] : rows) {
        EXPECT_EQ(Common::itemURLComponents(domain, {identifier}).url()->absoluteString(), viaDomain);
        EXPECT_EQ(Common::itemURLComponents(domain.identifier, identifier).url()->absoluteString(), viaHost);
    }
    // Links always use https without a port, whatever the environment says.
    const auto local = std::string(Platform::rawValue(Domain::local));
    const auto link = Common::itemURLComponents({.identifier = local}, {"7"}).url();
    EXPECT_EQ(link->scheme(), "https");
    EXPECT_FALSE(link->port().has_value());
}

}  // namespace

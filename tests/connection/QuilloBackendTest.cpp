#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "Common/connection/CommonError.h"
#include "Common/connection/QuilloBackend.h"

using Common::CommonError;
using Common::QuilloBackend;
using Domain = QuilloBackend::Domain;

namespace {

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

        const auto& settings = QuilloBackend::settings(row.domain);
        EXPECT_TRUE(settings.allowInvalidSSLCertificate);
        EXPECT_EQ(settings.stoneSport, "25558");
        EXPECT_TRUE(settings.stoneHostPort.ends_with(":10548/ssl"));
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

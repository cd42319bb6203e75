#include <gtest/gtest.h>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>

#include "DevServerFixture.h"
#include "Common/auth/CredentialParameter.h"
#include "Common/auth/TarnEnterprise.h"
#include "Common/auth/TarnUser.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/service/LSParameter.h"
#include "Common/service/ListingPager.h"
#include "Common/service/TarnItem.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/RenameParameter.h"

using namespace Common;
using E2E::railsError;

namespace {

std::string base64MD5(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    unsigned char text[64];
    const int written = EVP_EncodeBlock(text, digest, static_cast<int>(length));
    return {reinterpret_cast<char*>(text), static_cast<std::size_t>(written)};
}

class DevServerTest : public E2E::DevServerE2E {
protected:
    httplib::Client raw(const std::string& login) {
        httplib::Client client(server->url());
        client.set_bearer_token_auth(signIn(login, login + "-pass").get()->accessToken());
        return client;
    }
};

TEST_F(DevServerTest, TokenEndpointSignsInRefusesAndRotates) {
    using Reason = RailsError::Reason;
    struct Row {
        const char* name;
        const char* login;
        const char* password;
        std::optional<std::string> onetime;
        std::optional<Reason> refusal;
    };
    const Row rows[] = {
        {"password", "alice", "alice-pass", std::nullopt, std::nullopt},
        {"wrong password", "alice", "alice-pas", std::nullopt, Reason::invalidResourceOwner},
        {"unknown login", "nobody", "alice-pass", std::nullopt, Reason::invalidResourceOwner},
        {"one-time token missing", "dave", "dave-pass", std::nullopt, Reason::requireOnetimeTokenByTOTP},
        {"one-time token wrong", "dave", "dave-pass", "654321", Reason::invalidOnetimeToken},
        {"one-time token", "dave", "dave-pass", "123456", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.refusal) {
            const auto error = railsError(signIn(row.login, row.password, row.onetime));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->statusCode(), HTTPStatusCode::unauthorized);
            EXPECT_EQ(error->reason(), row.refusal);
            continue;
        }
        const auto credential = signIn(row.login, row.password, row.onetime).get();
        EXPECT_EQ(credential->login(), row.login);
        EXPECT_FALSE(credential->isExpired());
        // A refresh token works once: the second use of the same one is refused.
        auto refreshed = anonymous->makeAPICall(WebService::CredentialParameter(),
                                                      WebService::CredentialParameter::dataForRefresh(credential->refreshToken()), false);
        EXPECT_NE(refreshed.get()->accessToken(), credential->accessToken());
        const auto reused = railsError(anonymous->makeAPICall(
            WebService::CredentialParameter(), WebService::CredentialParameter::dataForRefresh(credential->refreshToken()), false));
        ASSERT_TRUE(reused);
        EXPECT_EQ(reused->statusCode(), HTTPStatusCode::badRequest);
    }
}

TEST_F(DevServerTest, SignedInUsersReadTheirTreeAndVolumes) {
    const auto alice = as("alice");
    const auto user = alice.makeAPICall(WebService::AuthenticatedUserParameter(), std::nullopt, false).get();
    EXPECT_EQ(user->login(), "alice");
    EXPECT_EQ(user->role(), TarnUser::Role::owner);
    EXPECT_EQ(alice.makeAPICall(WebService::CurrentEnterpriseParameter(), std::nullopt, false).get().storageType(),
              StorageType::object);

    // Newest first; the trashed file is not listed.
    std::vector<std::string> names;
    for (const auto& entry : ListingPager(alice, "0", {.windowSize = 1}).all().get()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"photo.jpg", "Docs"}));
    EXPECT_EQ(alice.makeAPICall(WebService::LSParameter("101", 1, 1), std::nullopt, false).get().totalCount, 2u);

    struct Row {
        const char* login;
        const char* item;
        VolumeRole role;
        bool isProjectFolder;
    };
    const Row rows[] = {
        {"alice", "202", VolumeRole::owner, false},   {"bob", "202", VolumeRole::viewer, false},
        {"bob", "301", VolumeRole::editor, false},    {"carol", "200", VolumeRole::uploader, true},
        {"alice", "104", VolumeRole::owner, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.login) + " " + row.item);
        const auto item = as(row.login).makeAPICall(WebService::TarnItemParameter(row.item, {}), std::nullopt, false).get();
        EXPECT_EQ(item.volumeRole(), row.role);
        EXPECT_EQ(item.isPjFolder(), row.isProjectFolder);
    }
    const auto home = alice.makeAPICall(WebService::TarnItemParameter("01", {}), std::nullopt, false).get();
    EXPECT_TRUE(home.isMyFolder());
    EXPECT_EQ(home.identifier(), "01");

    const auto volumes = as("bob").makeAPICall(WebService::MyVolumesParameter(), std::nullopt, false).get().volumes;
    ASSERT_EQ(volumes.entries.size(), 2u);
    EXPECT_EQ(volumes.entries[0].volumeRole(), VolumeRole::viewer);
    EXPECT_EQ(volumes.entries[1].volumeRole(), VolumeRole::editor);
}

TEST_F(DevServerTest, RolesRefuseWhatTheyDoNotAllow) {
    enum class Call { rename, download, thumbnail };
    struct Row {
        const char* name;
        const char* login;
        Call call;
        const char* item;
        std::optional<HTTPStatusCode> refusal;
        const char* code;
    };
    const Row rows[] = {
        {"viewer renames", "bob", Call::rename, "202", HTTPStatusCode::forbidden, "forbidden"},
        {"editor renames", "bob", Call::rename, "302", std::nullopt, nullptr},
        {"uploader downloads", "carol", Call::download, "203", HTTPStatusCode::forbidden, "forbidden"},
        {"uploader fetches a thumbnail", "carol", Call::thumbnail, "203", HTTPStatusCode::forbidden, "forbidden"},
        {"previewer downloads", "carol", Call::download, "301", HTTPStatusCode::forbidden, "forbidden"},
        {"viewer downloads", "bob", Call::download, "203", std::nullopt, nullptr},
        {"stranger looks in another home", "bob", Call::download, "102", HTTPStatusCode::notFound, "not_found"},
    };
    const auto file = Platform::ContentType{"text/plain"};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto connection = as(row.login);
        const auto error =
            row.call == Call::rename
                ? railsError(connection.makeAPICall(WebService::RenameParameter(row.item, file),
                                                    WebService::RenameParameter::bodyData("renamed.txt").value(), false))
            : row.call == Call::download
                ? railsError(connection.makeAPICall(WebService::DownloadParameter(row.item), std::nullopt, false))
                : railsError(connection.makeAPICall(WebService::FetchThumbnailParameter(row.item), std::nullopt, false));
        ASSERT_EQ(error.has_value(), row.refusal.has_value());
        if (!error) continue;
        EXPECT_EQ(error->statusCode(), row.refusal);
        // Role refusals name no sign-in reason; the body says what was refused.
        EXPECT_EQ(error->reason(), std::nullopt);
        ASSERT_TRUE(error->body());
        EXPECT_EQ(error->body()->status, static_cast<std::int64_t>(*error->statusCode()));
        EXPECT_EQ(error->body()->code, row.code);
        EXPECT_FALSE(error->body()->message.empty());
    }
}

TEST_F(DevServerTest, StorageChecksPartsAndCompleteAssemblesThem) {
    auto client = raw("alice");
    const auto opened = client.Post("/files/s3/multipartupload", R"({"parent_id":"0"})", "application/json");
    ASSERT_TRUE(opened);
    const auto s3key = nlohmann::json::parse(opened->body).at("s3key").get<std::string>();
    auto presign = [&](int part) {
        const auto answer = client.Get("/files/s3/multipartupload/url?parent_id=0&s3key=" + s3key + "&part_number=" + std::to_string(part));
        return nlohmann::json::parse(answer->body).at("url").get<std::string>();
    };
    httplib::Client storage(server->url());

    enum class Digest { right, wrong, malformed, absent };
    struct Row {
        const char* name;
        int part;
        Digest digest;
        int status;
        const char* code;
    };
    const Row rows[] = {
        {"second part first", 2, Digest::right, 200, nullptr},
        {"digest of other bytes", 1, Digest::wrong, 400, "<Code>BadDigest</Code>"},
        {"digest not base64", 1, Digest::malformed, 400, "<Code>InvalidDigest</Code>"},
        {"no digest", 1, Digest::absent, 200, nullptr},
    };
    std::map<int, std::string> tags;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = row.part == 1 ? "hello, " : "world";
        httplib::Headers headers;
        if (row.digest != Digest::absent)
            headers.emplace("Content-MD5", row.digest == Digest::right ? base64MD5(bytes)
                                           : row.digest == Digest::wrong ? base64MD5("other") : "not-a-digest");
        const auto url = presign(row.part);
        const auto put = storage.Put(url.substr(server->url().size()), headers, bytes, "application/octet-stream");
        ASSERT_TRUE(put);
        EXPECT_EQ(put->status, row.status);
        if (row.code) {
            EXPECT_NE(put->body.find(row.code), std::string::npos) << put->body;
        }
        if (row.status == 200) tags[row.part] = put->get_header_value("ETag");
    }
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[2].front(), '"');
    auto complete = [&](const std::vector<std::string>& etags) {
        const nlohmann::json body{{"parent_id", "0"}, {"s3key", s3key}, {"etags", etags}, {"name", "hello.txt"}, {"mtime", "90"}};
        return client.Put("/files/s3/multipartupload", body.dump(), "application/json");
    };
    const auto mixedUp = complete({tags[2], tags[1]});
    EXPECT_EQ(mixedUp->status, 400);
    EXPECT_NE(mixedUp->body.find("invalid_part"), std::string::npos);
    const auto done = complete({tags[1], tags[2]});
    ASSERT_EQ(done->status, 201);
    const auto file = nlohmann::json::parse(done->body);
    EXPECT_EQ(file.at("size"), 12);

    const auto ticket = nlohmann::json::parse(client.Get("/files/" + file.at("id").get<std::string>() + "/token")->body);
    const auto contents = storage.Get(ticket.at("url").get<std::string>().substr(server->url().size()));
    EXPECT_EQ(contents->body, "hello, world");
}

TEST_F(DevServerTest, StateFileKeepsTreeTokensAndOpenUploadsAcrossRestart) {
    const auto path = std::filesystem::temp_directory_path() / ("devserver-" + std::to_string(getpid()) + ".sqlite");
    std::filesystem::remove(path);
    ASSERT_TRUE(start({"--state", path.string()}));
    const httplib::Headers bearer{{"Authorization", "Bearer " + signIn("alice", "alice-pass").get()->accessToken()}};
    std::string s3key;
    {
        httplib::Client client(server->url());
        ASSERT_EQ(client.Post("/folders", bearer, R"({"name":"Kept","parent":{"id":"0"},"api_version":6})", "application/json")->status, 201);
        const auto opened = client.Post("/files/s3/multipartupload", bearer, R"({"parent_id":"0"})", "application/json");
        s3key = nlohmann::json::parse(opened->body).at("s3key").get<std::string>();
    }
    anonymous.reset();
    EXPECT_EQ(server->stop(), 0);

    ASSERT_TRUE(start({"--state", path.string()}));
    httplib::Client client(server->url());
    const auto listing = nlohmann::json::parse(client.Get("/folders/0/ls?offset=0&limit=10", bearer)->body);
    EXPECT_EQ(listing.at("total_count"), 3);
    EXPECT_EQ(listing.at("entries").dump().find(R"("name":"Kept")") != std::string::npos, true);
    const auto presigned = client.Get("/files/s3/multipartupload/url?parent_id=0&s3key=" + s3key + "&part_number=1", bearer);
    ASSERT_EQ(presigned->status, 200);
    const auto url = nlohmann::json::parse(presigned->body).at("url").get<std::string>();
    EXPECT_EQ(client.Put(url.substr(server->url().size()), "part", "application/octet-stream")->status, 200);
    server.reset();
    std::filesystem::remove(path);
}

TEST_F(DevServerTest, FaultSwitchesFailTheirFamily) {
    struct Row {
        const char* kind;
        std::optional<HTTPStatusCode> status;  // none: the connection drops mid-body
    };
    const Row rows[] = {{"5xx", HTTPStatusCode::serviceUnavailable}, {"429", HTTPStatusCode::tooManyRequests}, {"close", std::nullopt}};
    const auto alice = as("alice");
    httplib::Client admin(server->url());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        const nlohmann::json faults{{"families", {{"users", {{"rate", 1}, {"kind", row.kind}}}}}};
        ASSERT_EQ(admin.Post("/_dev/faults", faults.dump(), "application/json")->status, 200);
        auto call = alice.makeAPICall(WebService::AuthenticatedUserParameter(), std::nullopt, false);
        if (row.status) {
            const auto error = railsError(std::move(call));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->statusCode(), row.status);
        } else {
            EXPECT_ANY_THROW(call.get());
        }
        // Other families are untouched.
        EXPECT_NO_THROW(alice.makeAPICall(WebService::MyVolumesParameter(), std::nullopt, false).get());
    }
    EXPECT_EQ(admin.Post("/_dev/faults", R"({"families":{"nope":{"rate":1}}})", "application/json")->status, 400);

    // Tokens granted while the lifetime is 0 are refused at once, with the service's own code.
    ASSERT_EQ(admin.Post("/_dev/faults", R"({"token_lifetime":0,"families":{"users":{"rate":0}}})", "application/json")->status, 200);
    const auto expired = admin.Get("/users/me", {{"Authorization", signIn("bob", "bob-pass").get()->bearerToken()}});
    ASSERT_TRUE(expired);
    EXPECT_EQ(expired->status, 401);
    EXPECT_EQ(nlohmann::json::parse(expired->body).at("code"), "token_expired");
}

}  // namespace

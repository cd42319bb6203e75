// The library against the built quillo-devserver, a process of its own on loopback: the
// server's own rules (sign-in, roles, storage, state file, faults), each endpoint
// descriptor's answer, files of several parts each way, and the failure limit under load.
#include <gtest/gtest.h>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <functional>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/TarnEnterprise.h"
#include "Common/auth/TarnKnockParameter.h"
#include "Common/auth/TarnUser.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/fileprovider/TarnEventsParameter.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/service/AbortMultiPartUploadForModificationParameter.h"
#include "Common/service/AbortMultiPartUploadParameter.h"
#include "Common/service/CreateFolderParameter.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/Downloader.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/LSParameter.h"
#include "Common/service/ListingPager.h"
#include "Common/service/MyFolderParameter.h"
#include "Common/service/PresignedURLForModificationParameter.h"
#include "Common/service/PresignedURLParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/TarnSearchTrashItemsParameter.h"
#include "Common/service/Uploader.h"
#include "Platform/time/Clock.h"
#include "tests/support/Credentials.h"
#include "tests/support/DevServerProcess.h"
#include "tests/support/LoadRun.h"
#include "tests/support/TemporaryFolder.h"

using namespace Common;
using namespace Common::WebService;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

// The RailsError a call failed with; none when it passed or failed otherwise.
template <class Future>
std::optional<RailsError> railsError(Future&& future) {
    try {
        future.get();
    } catch (const RailsError& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

std::string md5(const std::string& bytes, bool base64 = false) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    if (!base64) return {reinterpret_cast<char*>(digest), length};
    unsigned char text[64];
    const int written = EVP_EncodeBlock(text, digest, static_cast<int>(length));
    return {reinterpret_cast<char*>(text), static_cast<std::size_t>(written)};
}

// Starts a devserver per test; `anonymous` reaches it without a credential.
class DevServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::DevServerProcess::available()) GTEST_SKIP() << "quillo-devserver is not built";
        ASSERT_TRUE(start());
        alice.emplace(as("alice"));
    }
    [[nodiscard]] bool start(const std::vector<std::string>& arguments = {}) {
        alice.reset();
        anonymous.reset();  // an idle keep-alive connection would hold the old server's stop
        server.reset();
        server.emplace(arguments);
        if (server->url().empty()) return false;
        anonymous.emplace(*Platform::URL::parse(server->url()));
        return true;
    }
    std::future<std::shared_ptr<const Credential>> signIn(const std::string& login, const std::string& password,
                                                          std::optional<std::string> onetime = std::nullopt) {
        return anonymous->makeAPICall(
            CredentialParameter(),
            CredentialParameter::dataForCreate("dev-client", "dev-secret", {login, password}, std::nullopt, onetime), false);
    }
    WebConnection as(const std::string& login) {
        return {*Platform::URL::parse(server->url()),
                WebConnection::Options{.credentials = std::make_shared<TestSupport::FixedCredentialSource>(
                                           signIn(login, login + "-pass").get())}};
    }
    template <class P>
    typename P::ReturnType call(const P& parameter, std::optional<Platform::Data> body = std::nullopt) {
        return alice->makeAPICall(parameter, std::move(body), false).get();
    }
    httplib::Client raw(const std::string& login) {
        httplib::Client client(server->url());
        client.set_bearer_token_auth(signIn(login, login + "-pass").get()->accessToken());
        return client;
    }
    std::filesystem::path file(const std::string& bytes) {
        const auto path = folder.path() / std::to_string(++files);
        TestSupport::writeFile(path, bytes);
        return path;
    }

    std::optional<TestSupport::DevServerProcess> server;
    std::optional<WebConnection> anonymous;
    std::optional<WebConnection> alice;
    TestSupport::TemporaryFolder folder;
    int files = 0;
};

TEST_F(DevServerTest, TokenEndpointSignsInRefusesAndRotates) {
    using Reason = RailsError::Reason;
    const struct {
        const char* name;
        const char* login;
        const char* password;
        std::optional<std::string> onetime;
        std::optional<Reason> refusal;
    } rows[] = {
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
        const auto refresh = [&] {
            return anonymous->makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(credential->refreshToken()),
                                          false);
        };
        EXPECT_NE(refresh().get()->accessToken(), credential->accessToken());
        const auto reused = railsError(refresh());
        ASSERT_TRUE(reused);
        EXPECT_EQ(reused->statusCode(), HTTPStatusCode::badRequest);
    }
}

TEST_F(DevServerTest, SignedInUsersReadTheirTreeAndVolumes) {
    const auto user = call(AuthenticatedUserParameter());
    EXPECT_EQ(user->login(), "alice");
    EXPECT_EQ(user->role(), TarnUser::Role::owner);
    EXPECT_EQ(call(CurrentEnterpriseParameter()).storageType(), StorageType::object);

    // Newest first; the trashed file is not listed.
    std::vector<std::string> names;
    for (const auto& entry : ListingPager(*alice, "0", {.windowSize = 1}).all().get()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"photo.jpg", "Docs"}));
    EXPECT_EQ(call(LSParameter("101", 1, 1)).totalCount, 2u);

    const struct {
        const char* login;
        const char* item;
        VolumeRole role;
        bool isProjectFolder;
    } rows[] = {
        {"alice", "202", VolumeRole::owner, false}, {"bob", "202", VolumeRole::viewer, false},
        {"bob", "301", VolumeRole::editor, false},  {"carol", "200", VolumeRole::uploader, true},
        {"alice", "104", VolumeRole::owner, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.login) + " " + row.item);
        const auto item = as(row.login).makeAPICall(TarnItemParameter(row.item, {}), std::nullopt, false).get();
        EXPECT_EQ(item.volumeRole(), row.role);
        EXPECT_EQ(item.isPjFolder(), row.isProjectFolder);
    }
    const auto volumes = as("bob").makeAPICall(MyVolumesParameter(), std::nullopt, false).get().volumes;
    ASSERT_EQ(volumes.entries.size(), 2u);
    EXPECT_EQ(volumes.entries[0].volumeRole(), VolumeRole::viewer);
    EXPECT_EQ(volumes.entries[1].volumeRole(), VolumeRole::editor);
}

TEST_F(DevServerTest, RolesRefuseWhatTheyDoNotAllow) {
    enum class Call { rename, download, thumbnail };
    const struct {
        const char* name;
        const char* login;
        Call call;
        const char* item;
        std::optional<HTTPStatusCode> refusal;
        const char* code;
    } rows[] = {
        {"viewer renames", "bob", Call::rename, "202", HTTPStatusCode::forbidden, "forbidden"},
        {"editor renames", "bob", Call::rename, "302", std::nullopt, nullptr},
        {"uploader downloads", "carol", Call::download, "203", HTTPStatusCode::forbidden, "forbidden"},
        {"uploader fetches a thumbnail", "carol", Call::thumbnail, "203", HTTPStatusCode::forbidden, "forbidden"},
        {"previewer downloads", "carol", Call::download, "301", HTTPStatusCode::forbidden, "forbidden"},
        {"viewer downloads", "bob", Call::download, "203", std::nullopt, nullptr},
        {"stranger looks in another home", "bob", Call::download, "102", HTTPStatusCode::notFound, "not_found"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto connection = as(row.login);
        const auto error =
            row.call == Call::rename
                ? railsError(connection.makeAPICall(RenameParameter(row.item, Platform::ContentType{"text/plain"}),
                                                    RenameParameter::bodyData("renamed.txt").value(), false))
            : row.call == Call::download ? railsError(connection.makeAPICall(DownloadParameter(row.item), std::nullopt, false))
                                         : railsError(connection.makeAPICall(FetchThumbnailParameter(row.item), std::nullopt, false));
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
    httplib::Client storage(server->url());

    enum class Digest { right, wrong, malformed, absent };
    const struct {
        const char* name;
        int part;
        Digest digest;
        int status;
        const char* code;
    } rows[] = {
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
        if (row.digest != Digest::absent) {
            headers.emplace("Content-MD5", row.digest == Digest::right  ? md5(bytes, true)
                                           : row.digest == Digest::wrong ? md5("other", true)
                                                                         : "not-a-digest");
        }
        const auto presigned = client.Get("/files/s3/multipartupload/url?parent_id=0&s3key=" + s3key +
                                          "&part_number=" + std::to_string(row.part));
        const auto url = nlohmann::json::parse(presigned->body).at("url").get<std::string>();
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
    const auto stored = nlohmann::json::parse(done->body);
    EXPECT_EQ(stored.at("size"), 12);

    const auto ticket = nlohmann::json::parse(client.Get("/files/" + stored.at("id").get<std::string>() + "/token")->body);
    EXPECT_EQ(storage.Get(ticket.at("url").get<std::string>().substr(server->url().size()))->body, "hello, world");
}

TEST_F(DevServerTest, StateFileKeepsTreeTokensAndOpenUploadsAcrossRestart) {
    const auto path = (folder.path() / "state.sqlite").string();
    ASSERT_TRUE(start({"--state", path}));
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

    ASSERT_TRUE(start({"--state", path}));
    httplib::Client client(server->url());
    const auto listing = nlohmann::json::parse(client.Get("/folders/0/ls?offset=0&limit=10", bearer)->body);
    EXPECT_EQ(listing.at("total_count"), 3);
    EXPECT_NE(listing.at("entries").dump().find(R"("name":"Kept")"), std::string::npos);
    const auto presigned = client.Get("/files/s3/multipartupload/url?parent_id=0&s3key=" + s3key + "&part_number=1", bearer);
    ASSERT_EQ(presigned->status, 200);
    const auto url = nlohmann::json::parse(presigned->body).at("url").get<std::string>();
    EXPECT_EQ(client.Put(url.substr(server->url().size()), "part", "application/octet-stream")->status, 200);
}

TEST_F(DevServerTest, FaultSwitchesFailTheirFamily) {
    const struct {
        const char* kind;
        std::optional<HTTPStatusCode> status;  // none: the connection drops mid-body
    } rows[] = {{"5xx", HTTPStatusCode::serviceUnavailable}, {"429", HTTPStatusCode::tooManyRequests}, {"close", std::nullopt}};
    httplib::Client admin(server->url());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        const nlohmann::json faults{{"families", {{"users", {{"rate", 1}, {"kind", row.kind}}}}}};
        ASSERT_EQ(admin.Post("/_dev/faults", faults.dump(), "application/json")->status, 200);
        auto failing = alice->makeAPICall(AuthenticatedUserParameter(), std::nullopt, false);
        if (row.status) {
            const auto error = railsError(std::move(failing));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->statusCode(), row.status);
        } else {
            EXPECT_ANY_THROW(failing.get());
        }
        EXPECT_NO_THROW(call(MyVolumesParameter())) << "other families are untouched";
    }
    EXPECT_EQ(admin.Post("/_dev/faults", R"({"families":{"nope":{"rate":1}}})", "application/json")->status, 400);

    // Tokens granted while the lifetime is 0 are refused at once, with the service's own code.
    ASSERT_EQ(admin.Post("/_dev/faults", R"({"token_lifetime":0,"families":{"users":{"rate":0}}})", "application/json")->status, 200);
    const auto expired = admin.Get("/users/me", {{"Authorization", signIn("bob", "bob-pass").get()->bearerToken()}});
    ASSERT_TRUE(expired);
    EXPECT_EQ(expired->status, 401);
    EXPECT_EQ(nlohmann::json::parse(expired->body).at("code"), "token_expired");
}

// Each descriptor neither the tests above nor the command-line session (QuilloSessionTest)
// reach goes through WebConnection to the devserver, and its answer decodes into what the
// seeded tree holds.
TEST_F(DevServerTest, EveryDescriptorDecodesTheServersAnswer) {
    const struct {
        const char* name;
        std::function<void()> check;
    } rows[] = {
        {"my folder",
         [&] {
             const auto home = call(MyFolderParameter());
             EXPECT_TRUE(home.isMyFolder());
             EXPECT_EQ(home.identifier(), "01");
         }},
        {"knock, name taken",
         [&] {
             const auto taken = call(TarnKnockParameter("photo.jpg", 5, "01"));
             EXPECT_EQ(taken.code, "item_exists_error");
             ASSERT_TRUE(taken.info);
             EXPECT_FALSE(taken.info->newName.empty());
         }},
        {"knock, name free", [&] { EXPECT_EQ(call(TarnKnockParameter("free.txt", 5, "01")).code, std::nullopt); }},
        {"create folder",
         [&] {
             // The item query defaults bring the parent and the path along.
             const auto made = call(CreateFolderParameter(), CreateFolderParameter::bodyData("Made", "01").value());
             EXPECT_EQ(made.name, "Made");
             ASSERT_TRUE(made.parent && made.pathCollection);
             EXPECT_EQ(made.parent->id, "0");
             EXPECT_EQ(made.pathCollection->entries.size(), 2u);
         }},
        {"search trash items", [&] { EXPECT_EQ(call(TarnSearchTrashItemsParameter("/old.txt")).name, "old.txt"); }},
        {"thumbnail bytes",
         [&] {
             std::promise<Platform::Data> bytes;
             alice->makeAPICallWithReturn(FetchThumbnailParameter("104"), std::nullopt, false, [&](auto result) {
                 bytes.set_value(result ? result.value().data : Platform::Data());
             });
             EXPECT_EQ(bytes.get_future().get().substr(0, 2), "\xFF\xD8");  // start of image
         }},
        {"multipart, new file abandoned",
         [&] {
             const auto opened = call(CreateMultiPartUploadParameter(), CreateMultiPartUploadParameter::bodyData("01").value());
             EXPECT_FALSE(call(PresignedURLParameter("01", opened.s3key, 1)).url.empty());
             call(AbortMultiPartUploadParameter("01", opened.s3key));
             EXPECT_TRUE(railsError(alice->makeAPICall(PresignedURLParameter("01", opened.s3key, 1), std::nullopt, false)));
         }},
        {"multipart, new contents abandoned",
         [&] {
             const auto opened = call(CreateMultiPartUploadForModificationParameter(),
                                      CreateMultiPartUploadForModificationParameter::bodyData("102").value());
             EXPECT_FALSE(call(PresignedURLForModificationParameter("102", opened.s3key, 1)).url.empty());
             call(AbortMultiPartUploadForModificationParameter("102", opened.s3key));
         }},
        {"events, after a date",
         [&] {
             const auto since = Platform::Clock::now().addingTimeInterval(-3 * 86400.0);
             const auto events = call(TarnEventsParameter(since));
             ASSERT_FALSE(events.empty());
             for (const auto& event : events) EXPECT_GT(event.performedAt, since);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            row.check();
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

// Several parts each way: the bytes that come back are the bytes that went up.
TEST_F(DevServerTest, UploaderAndDownloaderCarryAFileOfSeveralParts) {
    constexpr std::uint64_t partSize = 64 << 10;
    const Uploader uploader(*alice, {.partSize = partSize, .minimumPartSize = partSize, .journal = Uploader::Journal::none});
    const Downloader downloader(*alice);
    const struct {
        const char* name;
        UploadDestination destination;
        std::size_t size;
    } rows[] = {
        {"new file, last part short", UploadDestination::newFile("01", "big.bin"), 3 * partSize + 1000},
        {"new contents, whole parts", UploadDestination::newContents("102"), 2 * partSize},
    };
    std::uint32_t seed = 1;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes(row.size, '\0');
        for (auto& byte : bytes) byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
        const auto item = uploader.upload(file(bytes), row.destination).get();
        EXPECT_EQ(item.size, static_cast<std::int64_t>(row.size));
        const auto target = file("");
        EXPECT_EQ(downloader.download(item.id, target.string()).get().length, row.size);
        EXPECT_EQ(md5(TestSupport::readFile(target)), md5(bytes));
    }
}

// The full run: about ten seconds on two cores. Three in five calls fail, so about 120
// notifications fall due, with successes between the failures.
class LoadOverDevServer : public DevServerTest {};

TEST_F(LoadOverDevServer, FailureLimitPostsOncePer501FailuresAndEveryCallCompletesOnce) {
    constexpr std::int64_t calls = 100'000, failuresPerNotification = 501;
    constexpr std::int64_t peakGrowthBoundKiB = 4 << 10;  // a leak of about 45 bytes a call crosses it
    httplib::Client admin(server->url());
    const auto faults = admin.Post("/_dev/faults", R"({"seed":7,"families":{"users":{"rate":0.6,"kind":"5xx"}}})",
                                   "application/json");
    ASSERT_TRUE(faults && faults->status == 200);
    const auto result = TestSupport::runLoad(*alice, {.calls = calls, .threads = 4, .windowPerThread = 16});
    RecordProperty("seconds", std::to_string(result.seconds));

    EXPECT_GE(result.failures, 100 * failuresPerNotification);
    EXPECT_LT(result.failures, calls);
    EXPECT_EQ(result.notifications, result.failures / failuresPerNotification);
    EXPECT_EQ(WebConnection::failureCount(), result.failures % failuresPerNotification);
    EXPECT_EQ(result.notCompletedOnce, 0);
    // AddressSanitizer's quarantine keeps freed blocks resident, so peaks grow there.
    if (!underAddressSanitizer) {
        EXPECT_LT(result.peakKiBAtEnd - result.peakKiBAfterFirstTenth, peakGrowthBoundKiB)
            << result.peakKiBAfterFirstTenth << " KiB after the first tenth, " << result.peakKiBAtEnd << " at the end";
    }
}

}  // namespace

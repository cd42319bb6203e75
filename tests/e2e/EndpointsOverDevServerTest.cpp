#include <gtest/gtest.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "Common/auth/CredentialRefresh.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/SharedConstants.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/auth/TarnEnterprise.h"
#include "Common/auth/TarnKnockParameter.h"
#include "Common/auth/TarnUser.h"
#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/fileprovider/TarnEventsParameter.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/service/AbortMultiPartUploadForModificationParameter.h"
#include "Common/service/AbortMultiPartUploadParameter.h"
#include "Common/service/CreateFolderParameter.h"
#include "Common/service/Downloader.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/LSParameter.h"
#include "Common/service/MoveParameter.h"
#include "Common/service/MyFolderParameter.h"
#include "Common/service/PresignedURLForModificationParameter.h"
#include "Common/service/PresignedURLParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/TarnSearchFolderItemsParameter.h"
#include "Common/service/TarnSearchTrashItemsParameter.h"
#include "Common/service/TrashParameter.h"
#include "Common/service/Uploader.h"
#include "DevServerFixture.h"
#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "Platform/time/Clock.h"
#include "tests/platform/StoreTestSupport.h"

using namespace Common;
using namespace Common::WebService;

namespace {

const Platform::ContentType plainText{"text/plain"};

std::string md5(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    return {reinterpret_cast<char*>(digest), length};
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class EndpointsOverDevServer : public E2E::DevServerE2E {
protected:
    void SetUp() override {
        E2E::DevServerE2E::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        alice.emplace(as("alice"));
    }
    template <class P>
    typename P::ReturnType call(const P& parameter, std::optional<Platform::Data> body = std::nullopt) {
        return alice->makeAPICall(parameter, std::move(body), false).get();
    }
    std::filesystem::path writeFile(const std::string& bytes) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("e2e-" + std::to_string(getpid()) + "-" + std::to_string(files.size()));
        std::ofstream(path, std::ios::binary) << bytes;
        files.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const auto& file : files) std::filesystem::remove(file);
    }
    std::optional<WebConnection> alice;
    std::vector<std::filesystem::path> files;
};

// Each descriptor goes through WebConnection to the devserver and its answer decodes
// into what the seeded tree holds. Rows run in order on one server.
TEST_F(EndpointsOverDevServer, EveryDescriptorDecodesTheServersAnswer) {
    const Uploader uploader(*alice, {.partSize = 4, .minimumPartSize = 4, .journal = Uploader::Journal::none});
    struct Row {
        const char* name;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"token, password grant",
         [&] {
             const auto credential = signIn("alice", "alice-pass").get();
             EXPECT_EQ(credential->login(), "alice");
             EXPECT_FALSE(credential->isExpired());
         }},
        {"token, refresh grant",
         [&] {
             const auto first = signIn("alice", "alice-pass").get();
             const auto next = anonymous->makeAPICall(CredentialParameter(),
                                                      CredentialParameter::dataForRefresh(first->refreshToken()), false).get();
             EXPECT_NE(next->accessToken(), first->accessToken());
             EXPECT_EQ(next->login(), "alice");
         }},
        {"users/me", [&] { EXPECT_EQ(call(AuthenticatedUserParameter())->login(), "alice"); }},
        {"enterprise", [&] { EXPECT_EQ(call(CurrentEnterpriseParameter()).storageType(), StorageType::object); }},
        {"my volumes", [&] { EXPECT_EQ(call(MyVolumesParameter()).volumes.entries.size(), 2u); }},
        {"ls",
         [&] {
             const auto window = call(LSParameter("101", 0, 10));
             EXPECT_EQ(window.totalCount, 2u);
             ASSERT_EQ(window.entries.size(), 2u);
         }},
        {"item lookup", [&] { EXPECT_EQ(call(TarnItemParameter("102")).name, "report.txt"); }},
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
        {"rename",
         [&] {
             const auto renamed = call(RenameParameter("103", plainText), RenameParameter::bodyData("renamed.md").value());
             EXPECT_EQ(renamed.name, "renamed.md");
             ASSERT_TRUE(renamed.parent);
             EXPECT_EQ(renamed.parent->id, "101");
         }},
        {"move",
         [&] {
             call(MoveParameter(), MoveParameter::bodyData("103", "01").value());
             EXPECT_EQ(call(LSParameter("101", 0, 10)).totalCount, 1u);
         }},
        {"trash",
         [&] {
             call(TrashParameter("103", plainText));
             EXPECT_EQ(call(TarnSearchTrashItemsParameter("/renamed.md")).itemId, "103");
         }},
        {"search folder items",
         [&] {
             const auto found = call(TarnSearchFolderItemsParameter("report", 0));
             ASSERT_FALSE(found.entries.empty());
             EXPECT_EQ(found.entries.front().name, "report.txt");
         }},
        {"search trash items", [&] { EXPECT_EQ(call(TarnSearchTrashItemsParameter("/old.txt")).name, "old.txt"); }},
        {"download ticket",
         [&] {
             const auto ticket = call(DownloadParameter("102"));
             ASSERT_TRUE(ticket.url);
             EXPECT_EQ(ticket.url->rfind(server->url(), 0), 0u);
         }},
        {"thumbnail bytes",
         [&] {
             std::promise<Platform::Data> bytes;
             alice->makeAPICallWithReturn(FetchThumbnailParameter("104"), std::nullopt, false, [&](auto result) {
                 bytes.set_value(result ? result.value().data : Platform::Data());
             });
             const auto jpeg = bytes.get_future().get();
             ASSERT_GE(jpeg.size(), 2u);
             EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");  // start of image
         }},
        {"multipart, new file",
         [&] {
             const auto item = uploader.upload(writeFile("three parts"), UploadDestination::newFile("01", "up.txt")).get();
             EXPECT_EQ(item.name, "up.txt");
             EXPECT_EQ(item.size, 11);
         }},
        {"multipart, new contents",
         [&] {
             const auto item = uploader.upload(writeFile("new text"), UploadDestination::newContents("102")).get();
             EXPECT_EQ(item.id, "102");
             EXPECT_EQ(item.size, 8);
         }},
        {"multipart, new file abandoned",
         [&] {
             const auto opened = call(CreateMultiPartUploadParameter(), CreateMultiPartUploadParameter::bodyData("01").value());
             EXPECT_FALSE(call(PresignedURLParameter("01", opened.s3key, 1)).url.empty());
             call(AbortMultiPartUploadParameter("01", opened.s3key));
             EXPECT_TRUE(E2E::railsError(alice->makeAPICall(PresignedURLParameter("01", opened.s3key, 1), std::nullopt, false)));
         }},
        {"multipart, new contents abandoned",
         [&] {
             const auto opened = call(CreateMultiPartUploadForModificationParameter(),
                                      CreateMultiPartUploadForModificationParameter::bodyData("102").value());
             EXPECT_FALSE(call(PresignedURLForModificationParameter("102", opened.s3key, 1)).url.empty());
             call(AbortMultiPartUploadForModificationParameter("102", opened.s3key));
         }},
        {"events, latest",
         [&] {
             const auto events = call(TarnEventsParameter());
             ASSERT_GE(events.size(), 5u);
             EXPECT_TRUE(std::is_sorted(events.begin(), events.end(),
                                        [](const auto& a, const auto& b) { return a.performedAt < b.performedAt; }));
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
TEST_F(EndpointsOverDevServer, UploaderAndDownloaderCarryAFileOfSeveralParts) {
    constexpr std::uint64_t partSize = 64 << 10;
    const Uploader uploader(*alice, {.partSize = partSize, .minimumPartSize = partSize, .journal = Uploader::Journal::none});
    const Downloader downloader(*alice);
    struct Row {
        const char* name;
        UploadDestination destination;
        std::size_t size;
    };
    const Row rows[] = {
        {"new file, last part short", UploadDestination::newFile("01", "big.bin"), 3 * partSize + 1000},
        {"new contents, whole parts", UploadDestination::newContents("102"), 2 * partSize},
    };
    std::uint32_t seed = 1;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes(row.size, '\0');
        for (auto& byte : bytes) byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
        const auto item = uploader.upload(writeFile(bytes), row.destination).get();
        EXPECT_EQ(item.size, static_cast<std::int64_t>(row.size));
        const auto target = writeFile("");
        const auto downloaded = downloader.download(item.id, target.string()).get();
        EXPECT_EQ(downloaded.length, row.size);
        EXPECT_EQ(md5(readFile(target)), md5(bytes));
    }
}

// An expired token is refused, refreshed once through the shared stores, and the next
// call passes.
TEST_F(EndpointsOverDevServer, ExpiredTokenIsRefusedThenRefreshed) {
    StoreTestSupport::TemporaryRoot root;
    httplib::Client admin(server->url());
    ASSERT_EQ(admin.Post("/_dev/faults", R"({"token_lifetime":0})", "application/json")->status, 200);
    const auto expired = signIn("alice", "alice-pass").get();

    Platform::Keychain keychain(Platform::detail::SQLiteKeychainBackend::forApplicationGroup(appGroupIdentifier));
    KeychainManager keychainManager(keychain);
    auto settings = SharedContainerDefaults::sharedContainerDefaults();
    keychainManager.setCredential(*expired, settings.domain());
    settings.setCredential(expired);
    OAuthManager oauth(keychainManager, [&] { return settings.domain(); });
    oauth.setCredential(expired);
    const std::shared_ptr<const CredentialSource> shared(&oauth, [](const CredentialSource*) {});
    const WebConnection connection(*Platform::URL::parse(server->url()), WebConnection::Options{.credentials = shared});

    using Expiry = E2E::HeldCredential::Expiry;
    struct Row {
        const char* name;
        Expiry expiry;
        std::string body;  // what the 401 carries
    };
    const Row rows[] = {
        {"the server refuses it", Expiry::ignored, "token_expired"},
        {"the connection refuses it unsent", Expiry::checked, "Token expired"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const WebConnection sender(*Platform::URL::parse(server->url()),
                                   WebConnection::Options{.credentials = std::make_shared<E2E::HeldCredential>(expired, row.expiry)});
        const auto error = E2E::railsError(sender.makeAPICall(AuthenticatedUserParameter(), std::nullopt, false));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->statusCode(), HTTPStatusCode::unauthorized);
        ASSERT_TRUE(error->responseData());
        EXPECT_NE(error->responseData()->find(row.body), std::string::npos) << *error->responseData();
    }

    ASSERT_EQ(admin.Post("/_dev/faults", R"({"token_lifetime":3600})", "application/json")->status, 200);
    CredentialRefresh refresh(oauth, keychainManager, settings);
    const auto outcome = refresh.refreshIfExpired([this](const std::string& token, auto done) {
        anonymous->makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(token), false, std::move(done));
    });
    ASSERT_TRUE(outcome) << outcome.error()->what();
    EXPECT_EQ(outcome.value(), CredentialRefresh::Outcome::refreshed);
    EXPECT_EQ(connection.makeAPICall(AuthenticatedUserParameter(), std::nullopt, false).get()->login(), "alice");
}

}  // namespace

#include <gtest/gtest.h>

#include <fstream>

#include "Common/connection/CommonError.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/fileprovider/VolumeFolderLookup.h"
#include "Platform/fileprovider/FileProviderError.h"
#include "Platform/files/FileURL.h"
#include "tests/platform/StoreTestSupport.h"

namespace {

using Common::CommonError;
using Platform::FileProviderDomain;
using Platform::FileProviderError;
using Platform::FileProviderItemIdentifier;
using Platform::FileProviderManager;
using Platform::URL;

TEST(ItemIDConversion, OnlyThePersonalFolderMapsToTheServiceRoot) {
    const struct {
        const char* identifier;
        const char* expected;
    } cases[] = {{"01", "0"}, {"0", "0"}, {"010", "010"}, {"", ""}, {"1", "1"}};
    for (const auto& c : cases) EXPECT_EQ(Common::toItemID(c.identifier), c.expected) << c.identifier;
}

TEST(VolumeFolderURL, TakesTheFirstComponentBelowTheRoot) {
    const std::string root = "file:///mnt/quillo/";
    const struct {
        const char* name;
        std::string rootURL;
        std::string itemURL;
        std::optional<std::string> expected;  // nullopt: volumeNotFound
    } cases[] = {
        {"two levels below an encoded blank", root, root + "Volume%20A/sub/file.txt", root + "Volume%20A/"},
        {"the folder itself", root, root + "Volume%20A/", root + "Volume%20A/"},
        {"a file directly below", root, root + "file.txt", root + "file.txt/"},
        {"empty pieces are skipped", root, root + "/Volume//x", root + "Volume/"},
        {"non-ASCII name", root, root + "%E3%81%82/x", root + "%E3%81%82/"},
        {"escaped separator stays a separator", root, root + "a%2Fb/x", root + "a/b/"},
        {"item equal to root", root, root, root + "//"},
        {"lower-case escapes", root, root + "caf%c3%a9/x", root + "caf%C3%A9/"},
        {"invalid escape", root, root + "%zz/x", root + "//"},
        {"truncated escape", root, root + "%4/x", root + "//"},
        {"lone percent", root, root + "%/x", root + "//"},
        {"percent ending a name", root, root + "Volume%/x", root + "//"},
        {"invalid UTF-8", root, root + "%FF/x", root + "//"},
        {"root without trailing separator", "file:///mnt/quillo", root + "Volume/x", root + "Volume/"},
        {"outside the root", root, "file:///mnt/other/Volume/x", std::nullopt},
        {"shorter than the root", root, "file:///mnt/", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto item = URL::parse(c.itemURL);
        const auto rootURL = URL::parse(c.rootURL);
        ASSERT_TRUE(item && rootURL);
        if (c.expected) {
            EXPECT_EQ(Common::quilloVolumeFolderURL(*item, *rootURL).absoluteString(), *c.expected);
        } else {
            EXPECT_THROW(
                try { Common::quilloVolumeFolderURL(*item, *rootURL); } catch (const CommonError& error) {
                    EXPECT_EQ(error, CommonError::volumeNotFound());
                    throw;
                },
                CommonError);
        }
    }
}

TEST(VolumeFolderIdentifier, FindsTheTopLevelFolderOfAnItem) {
    StoreTestSupport::TemporaryRoot root;
    const FileProviderDomain domain{"quillo.lookup.example", "Quillo"};
    const auto mountRoot = root.path() / "mount";
    std::filesystem::create_directories(mountRoot / "Volume A" / "sub");
    std::filesystem::create_directories(mountRoot / "Personal");
    std::ofstream(mountRoot / "Volume A" / "sub" / "f.txt") << "x";
    FileProviderManager::registerDomain(domain, mountRoot);
    const FileProviderManager manager(domain);
    for (const auto& [identifier, path] : {std::pair{"01", "Personal"}, {"v1", "Volume A"}, {"s", "Volume A/sub"},
                                           {"f", "Volume A/sub/f.txt"}, {"lost", "Unrecorded/x"}}) {
        manager.setUserVisiblePath({identifier}, path);
    }

    const struct {
        FileProviderItemIdentifier item;
        std::optional<FileProviderItemIdentifier> expected;
        std::optional<FileProviderError::Code> failure;
    } cases[] = {
        {{"f"}, FileProviderItemIdentifier{"v1"}, {}},
        {{"s"}, FileProviderItemIdentifier{"v1"}, {}},
        {{"v1"}, FileProviderItemIdentifier{"v1"}, {}},
        {{"01"}, FileProviderItemIdentifier{"01"}, {}},
        {FileProviderItemIdentifier::rootContainer(), FileProviderItemIdentifier::rootContainer(), {}},
        {{"unknown"}, {}, FileProviderError::Code::noSuchItem},  // from the item's URL
        {{"lost"}, {}, FileProviderError::Code::noSuchItem},     // from the folder's identifier
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item.rawValue);
        auto future = Common::folderIdentifierForQuilloVolume(manager, c.item);
        if (c.expected) {
            EXPECT_EQ(future.get(), *c.expected);
            continue;
        }
        try {
            future.get();
            ADD_FAILURE() << "no error";
        } catch (const FileProviderError& error) {
            EXPECT_EQ(error.code(), *c.failure);
        }
    }

    // A failure of the very first step reaches the completion unchanged.
    std::promise<Platform::Result<FileProviderItemIdentifier>> received;
    Common::folderIdentifierForQuilloVolume(FileProviderManager(FileProviderDomain{"no/such", ""}), {"f"},
                                            [&](auto result) { received.set_value(std::move(result)); });
    const auto result = received.get_future().get();
    ASSERT_NE(result.error<FileProviderError>(), nullptr);
    EXPECT_EQ(result.error<FileProviderError>()->code(), FileProviderError::Code::domainNotFound);
    FileProviderManager::unregisterDomain(domain);
}

}  // namespace

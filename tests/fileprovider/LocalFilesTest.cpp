#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "Common/connection/CommonError.h"
#include "Common/fileprovider/LocalFileSize.h"
#include "Common/fileprovider/PartRangeError.h"
#include "Common/fileprovider/PartRanges.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/fileprovider/VolumeFolderLookup.h"
#include "Platform/fileprovider/FileProviderError.h"
#include "Platform/files/FileError.h"
#include "Platform/files/FileURL.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/Failures.h"

namespace {

using Common::CommonError;
using Common::PartRange;
using Common::PartRangeError;
using Platform::FileError;
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
            EXPECT_EQ(TestSupport::thrown<CommonError>([&] { Common::quilloVolumeFolderURL(*item, *rootURL); }),
                      CommonError::volumeNotFound());
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
        } else {
            const auto error = TestSupport::thrown<FileProviderError>([&] { future.get(); });
            EXPECT_EQ(error ? std::optional(error->code()) : std::nullopt, c.failure);
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

TEST(LocalFileSize, MeasuresRegularFilesOnly) {
    StoreTestSupport::TemporaryRoot root;
    const auto dir = root.path();
    std::ofstream(dir / "five bytes") << "12345";
    std::ofstream(dir / "empty");
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::create_symlink(dir / "five bytes", dir / "link");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");

    const struct {
        const char* name;
        std::string url;
        std::optional<std::uint64_t> size;  // nullopt: fails with `failure`
        FileError::Code failure;
    } cases[] = {
        {"regular file", Platform::fileURL(dir / "five bytes", Platform::FileURLKind::file)->absoluteString(), 5, {}},
        {"empty file", Platform::fileURL(dir / "empty", Platform::FileURLKind::file)->absoluteString(), 0, {}},
        {"link to a file", Platform::fileURL(dir / "link", Platform::FileURLKind::file)->absoluteString(), 5, {}},
        {"folder that exists", Platform::fileURL(dir / "folder", Platform::FileURLKind::directory)->absoluteString(), {}, FileError::Code::fileNoSuchFile},
        {"missing file", Platform::fileURL(dir / "missing", Platform::FileURLKind::file)->absoluteString(), {}, FileError::Code::fileNoSuchFile},
        {"below a file", Platform::fileURL(dir / "empty" / "x", Platform::FileURLKind::file)->absoluteString(), {}, FileError::Code::fileNoSuchFile},
        {"dangling link", Platform::fileURL(dir / "dangling", Platform::FileURLKind::file)->absoluteString(), {}, FileError::Code::fileNoSuchFile},
        {"bad escape", "file://" + dir.string() + "/%zz", {}, FileError::Code::fileReadInvalidFileName},
        {"not a file URL", "https://example.com/five", {}, FileError::Code::fileReadUnsupportedScheme},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto url = Platform::URL::parse(c.url);
        ASSERT_TRUE(url);
        if (c.size) {
            EXPECT_EQ(Common::fileSize(*url), *c.size);
            continue;
        }
        const auto error = TestSupport::thrown<FileError>([&] { Common::fileSize(*url); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), c.failure);
        if (c.failure == FileError::Code::fileNoSuchFile) {
            EXPECT_TRUE(error->userInfo().empty());
        }
    }

    EXPECT_EQ(Common::sizeOfFile(dir / "five bytes"), 5u);
    EXPECT_EQ(Common::sizeOfFile(dir / "missing"), std::nullopt);
    EXPECT_EQ(Common::sizeOfFile(dir / "dangling"), std::nullopt);
    EXPECT_TRUE(Common::sizeOfFile(dir / "folder").has_value());
}

TEST(PartRanges, CoverTheTotalInOrder) {
    const struct {
        std::uint64_t total, partSize;
        std::vector<PartRange> expected;
    } cases[] = {
        {10, 4, {{0, 4}, {4, 8}, {8, 10}}},
        {8, 4, {{0, 4}, {4, 8}}},
        {3, 4, {{0, 3}}},
        {0, 4, {{0, 0}}},
        {1, 1, {{0, 1}}},
        {std::numeric_limits<std::int64_t>::max(), std::uint64_t{1} << 62,
         {{0, std::int64_t{1} << 62}, {std::int64_t{1} << 62, std::numeric_limits<std::int64_t>::max()}}},
        {5, std::numeric_limits<std::uint64_t>::max(), {{0, 5}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Common::ranges(c.total, c.partSize), c.expected) << c.total << " / " << c.partSize;
    }
}

TEST(PartRanges, RefuseWhatWouldCrashOrOverflow) {
    const struct {
        std::uint64_t total, partSize;
        PartRangeError::Code expected;
    } cases[] = {
        {10, 0, PartRangeError::Code::zeroPartSize},
        {0, 0, PartRangeError::Code::zeroPartSize},
        {std::uint64_t{1} << 63, 4, PartRangeError::Code::totalTooLarge},
        {std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::uint64_t>::max(),
         PartRangeError::Code::totalTooLarge},
        {Common::maxPartCount + 1, 1, PartRangeError::Code::tooManyParts},
        {std::numeric_limits<std::int64_t>::max(), 1, PartRangeError::Code::tooManyParts},
    };
    for (const auto& c : cases) {
        const auto error = TestSupport::thrown<PartRangeError>([&] { Common::ranges(c.total, c.partSize); });
        ASSERT_TRUE(error) << c.total << " / " << c.partSize;
        EXPECT_EQ(error->code(), c.expected) << c.total << " / " << c.partSize;
        EXPECT_TRUE(error->errorDescription().has_value());
    }
    EXPECT_EQ(Common::ranges(Common::maxPartCount, 1).size(), Common::maxPartCount);
}

}  // namespace

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "Common/fileprovider/LocalFileSize.h"
#include "Common/fileprovider/PartRangeError.h"
#include "Common/fileprovider/PartRanges.h"
#include "Platform/files/FileError.h"
#include "Platform/files/FileURL.h"
#include "tests/platform/StoreTestSupport.h"

namespace {

using Common::PartRange;
using Common::PartRangeError;
using Platform::FileError;

TEST(LocalFileSize, MeasuresRegularFilesOnly) {
    StoreTestSupport::TemporaryRoot root;
    const auto dir = root.path();
    std::ofstream(dir / "five bytes") << "12345";
    std::ofstream(dir / "empty");
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::create_symlink(dir / "five bytes", dir / "link");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");
    using Kind = Platform::FileURLKind;
    const auto urlOf = [&](const char* name, Kind kind) { return Platform::fileURL(dir / name, kind)->absoluteString(); };

    const struct {
        const char* name;
        std::string url;
        std::optional<std::uint64_t> size;  // nullopt: fails with `failure`
        FileError::Code failure;
    } cases[] = {
        {"regular file", urlOf("five bytes", Kind::file), 5, {}},
        {"empty file", urlOf("empty", Kind::file), 0, {}},
        {"link to a file", urlOf("link", Kind::file), 5, {}},
        {"folder that exists", urlOf("folder", Kind::directory), {}, FileError::Code::fileNoSuchFile},
        {"missing file", urlOf("missing", Kind::file), {}, FileError::Code::fileNoSuchFile},
        {"below a file", urlOf("empty/x", Kind::file), {}, FileError::Code::fileNoSuchFile},
        {"dangling link", urlOf("dangling", Kind::file), {}, FileError::Code::fileNoSuchFile},
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
        try {
            Common::fileSize(*url);
            ADD_FAILURE() << "no error";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), c.failure);
            if (c.failure == FileError::Code::fileNoSuchFile) {
                EXPECT_TRUE(error.userInfo().empty());
            }
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
        try {
            Common::ranges(c.total, c.partSize);
            ADD_FAILURE() << "accepted " << c.total << " / " << c.partSize;
        } catch (const PartRangeError& error) {
            EXPECT_EQ(error.code(), c.expected) << c.total << " / " << c.partSize;
            EXPECT_TRUE(error.errorDescription().has_value());
        }
    }
    EXPECT_EQ(Common::ranges(Common::maxPartCount, 1).size(), Common::maxPartCount);
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "Platform/fileprovider/FileProviderError.h"
#include "Platform/fileprovider/FileProviderManager.h"
#include "Platform/files/FileURL.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/Failures.h"

namespace {

using Platform::FileProviderDomain;
using Platform::FileProviderError;
using Platform::FileProviderItemIdentifier;
using Platform::FileProviderManager;
using Platform::URL;
using Code = FileProviderError::Code;
using StoreTestSupport::TemporaryRoot;

const FileProviderDomain domain{"quillo.test.example", "Quillo"};

// A registered domain whose mount root is a folder of the test's temporary root.
struct MountedDomain {
    TemporaryRoot root;
    std::filesystem::path mountRoot = root.path() / "mount point";
    FileProviderManager manager{domain};

    MountedDomain() {
        std::filesystem::create_directories(mountRoot);
        FileProviderManager::registerDomain(domain, mountRoot);
    }
    ~MountedDomain() { FileProviderManager::unregisterDomain(domain); }

    std::string rootText() const { return Platform::fileURL(mountRoot, Platform::FileURLKind::directory)->absoluteString(); }
};

URL url(const std::string& text) {
    auto parsed = URL::parse(text);
    if (!parsed) ADD_FAILURE() << "bad URL " << text;
    return parsed.value_or(*URL::parse("file:///"));
}

// The code of the error the future throws, or nullopt when it throws none.
template <class T>
std::optional<Code> failureOf(std::future<T> future) {
    try {
        future.get();
    } catch (const FileProviderError& error) {
        return error.code();
    }
    return std::nullopt;
}

TEST(FileProviderManager, RecordedItemsRoundTripThroughBothLookups) {
    MountedDomain mounted;
    std::filesystem::create_directories(mounted.mountRoot / "Volume A");
    const struct {
        const char* identifier;
        const char* relativePath;
        const char* expectedSuffix;  // after the mount root's URL
    } cases[] = {
        {"01", "Personal", "Personal"},  // not on disk: no trailing separator
        {"v1", "Volume A", "Volume%20A/"},
        {"f1", "Volume A//報告 100%.pdf", "Volume%20A/%E5%A0%B1%E5%91%8A%20100%25.pdf"},
        {"q", "a?b#c/", "a%3Fb%23c"},
    };
    for (const auto& c : cases) mounted.manager.setUserVisiblePath({c.identifier}, c.relativePath);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.identifier);
        const URL shown = mounted.manager.getUserVisibleURL({c.identifier}).get();
        EXPECT_EQ(shown.absoluteString(), mounted.rootText() + c.expectedSuffix);
        const auto [identifier, domainIdentifier] = FileProviderManager::getIdentifierForUserVisibleFile(shown).get();
        EXPECT_EQ(identifier.rawValue, c.identifier);
        EXPECT_EQ(domainIdentifier, domain.identifier);
    }

    const URL root = mounted.manager.getUserVisibleURL(FileProviderItemIdentifier::rootContainer()).get();
    EXPECT_EQ(root.absoluteString(), mounted.rootText());
    for (const auto& spelling : {mounted.rootText(), mounted.rootText() + "//", mounted.rootText() + "x/.."}) {
        EXPECT_EQ(FileProviderManager::getIdentifierForUserVisibleFile(url(spelling)).get().first,
                  FileProviderItemIdentifier::rootContainer())
            << spelling;
    }
}

TEST(FileProviderManager, LookupsFailWithTypedErrors) {
    MountedDomain mounted;
    mounted.manager.setUserVisiblePath({"v1"}, "Volume");
    const struct {
        const char* name;
        std::string url;
        Code expected;
    } urlCases[] = {
        {"outside every domain", "file:///nowhere/at/all", Code::domainNotFound},
        {"not recorded", mounted.rootText() + "Other", Code::noSuchItem},
        {"inside the metadata folder", mounted.rootText() + ".fileprovider/items.json", Code::noSuchItem},
        {"not a file URL", "https://example.com/Volume", Code::noSuchItem},
        {"bad escape", mounted.rootText() + "%zz", Code::noSuchItem},
    };
    for (const auto& c : urlCases) {
        EXPECT_EQ(failureOf(FileProviderManager::getIdentifierForUserVisibleFile(url(c.url))), c.expected) << c.name;
    }

    EXPECT_EQ(failureOf(mounted.manager.getUserVisibleURL({"unknown"})), Code::noSuchItem);
    for (const char* identifier : {"", "..", "a/b"}) {
        FileProviderManager unnamed(FileProviderDomain{identifier, ""});
        EXPECT_EQ(failureOf(unnamed.getUserVisibleURL({"v1"})), Code::domainNotFound) << identifier;
    }

    // A damaged table is reported, and not overwritten by the next write.
    const auto table = mounted.mountRoot / ".fileprovider" / "items.json";
    for (const char* text : {"{", "[]", R"({"version":2,"items":{}})", R"({"version":1,"items":{"x":"../up"}})"}) {
        std::ofstream(table, std::ios::trunc) << text;
        EXPECT_EQ(failureOf(mounted.manager.getUserVisibleURL({"v1"})), Code::cannotSynchronize) << text;
        EXPECT_THROW(mounted.manager.setUserVisiblePath({"v2"}, "Other"), FileProviderError) << text;
        EXPECT_EQ(TestSupport::readFile(table), text);
    }
}

TEST(FileProviderManager, RecordingRefusesWhatTheTableCannotHold) {
    MountedDomain mounted;
    mounted.manager.setUserVisiblePath({"v1"}, "Volume");
    const struct {
        FileProviderItemIdentifier identifier;
        std::string relativePath;
        Code expected;
    } cases[] = {
        {FileProviderItemIdentifier::rootContainer(), "Root", Code::invalidArgument},
        {{""}, "Empty", Code::invalidArgument},
        {{"x"}, "", Code::invalidArgument},
        {{"x"}, "//", Code::invalidArgument},
        {{"x"}, "/etc/passwd", Code::invalidArgument},
        {{"x"}, "../escape", Code::invalidArgument},
        {{"x"}, "a/./b", Code::invalidArgument},
        {{"x"}, ".fileprovider/items.json", Code::invalidArgument},
        {{"x"}, std::string("nul\0byte", 8), Code::invalidArgument},
        {{"x"}, "\xff\xfe", Code::invalidArgument},
        {{"\xc3"}, "Bad identifier", Code::invalidArgument},
        {{"x"}, "Volume/", Code::filenameCollision},
    };
    for (const auto& c : cases) {
        const auto error = TestSupport::thrown<FileProviderError>([&] { mounted.manager.setUserVisiblePath(c.identifier, c.relativePath); });
        EXPECT_EQ(error ? std::optional(error->code()) : std::nullopt, c.expected) << c.relativePath;
    }
    EXPECT_EQ(mounted.manager.getUserVisibleURL({"v1"}).get().absoluteString(), mounted.rootText() + "Volume");
    EXPECT_EQ(failureOf(mounted.manager.getUserVisibleURL({"x"})), Code::noSuchItem);

    // Moving and forgetting an item.
    mounted.manager.setUserVisiblePath({"v1"}, "Renamed");
    EXPECT_EQ(failureOf(FileProviderManager::getIdentifierForUserVisibleFile(url(mounted.rootText() + "Volume"))),
              Code::noSuchItem);
    EXPECT_TRUE(mounted.manager.removeItem({"v1"}));
    EXPECT_FALSE(mounted.manager.removeItem({"v1"}));
    EXPECT_EQ(failureOf(mounted.manager.getUserVisibleURL({"v1"})), Code::noSuchItem);
}

// The integration process's half of the next test: records items in the default place.
const TestSupport::ChildRole recordsItems("file-provider-records-items", [](const std::string&) {
    FileProviderManager manager(domain);
    for (int i = 0; i < 30; ++i) manager.setUserVisiblePath({"child" + std::to_string(i)}, "Child/" + std::to_string(i));
});

// Another process and several threads of this one record at once; none loses an item.
TEST(FileProviderManager, WritersOfOtherProcessesAndThreadsLoseNothing) {
    TemporaryRoot root;
    FileProviderManager manager(domain);  // not registered: found in the default place
    auto child = TestSupport::ChildProcess::play({.role = "file-provider-records-items", .containerRoot = root.path()});
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&, t] {
            for (int i = t; i < 30; i += 3) manager.setUserVisiblePath({"parent" + std::to_string(i)}, "Parent/" + std::to_string(i));
        });
    }
    for (auto& writer : writers) writer.join();
    ASSERT_EQ(child.wait(), 0);

    const auto mountRoot = root.path() / std::string(FileProviderManager::applicationGroupIdentifier) / "FileProvider" /
                           domain.identifier;
    EXPECT_EQ(manager.mountRoot(), mountRoot);
    for (const char* side : {"child", "parent"}) {
        for (int i = 0; i < 30; ++i) {
            const FileProviderItemIdentifier identifier{side + std::to_string(i)};
            const URL shown = manager.getUserVisibleURL(identifier).get();
            const auto found = FileProviderManager::getIdentifierForUserVisibleFile(shown).get();
            EXPECT_EQ(found, std::make_pair(identifier, domain.identifier));
        }
    }
}

}  // namespace

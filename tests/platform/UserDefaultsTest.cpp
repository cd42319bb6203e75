#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <fstream>
#include <limits>
#include <thread>

#include "Platform/defaults/UserDefaults.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/Failures.h"

namespace {

using Platform::Date;
using Platform::UserDefaults;
using Platform::UserDefaultsData;
using Platform::UserDefaultsError;
using Platform::UserDefaultsValue;
using StoreTestSupport::TemporaryRoot;
using TestSupport::readFile;

constexpr const char* suiteName = "group.test.defaults";

struct Sample {
    const char* key;
    UserDefaultsValue value;
};

const Sample samples[] = {
    {"text", std::string("grüße")},
    {"emptyText", std::string()},
    {"textWithNul", std::string("a\0b", 3)},
    {"data", UserDefaultsData{std::string("\x00\xff\x01", 3)}},
    {"emptyData", UserDefaultsData{}},
    {"zero", std::int64_t{0}},
    {"min", std::numeric_limits<std::int64_t>::min()},
    {"max", std::numeric_limits<std::int64_t>::max()},
    {"half", 0.5},
    {"whole", 2.0},
    {"infinite", std::numeric_limits<double>::infinity()},
    {"yes", true},
    {"no", false},
    {"date", Date{1'700'000'000.25}},
};

TEST(UserDefaults, TypedReadersOnlyAnswerForTheirType) {
    TemporaryRoot root;
    auto defaults = UserDefaults::suite(suiteName);
    // Which of string, data, integer, double, bool, date readers see the value.
    const struct {
        UserDefaultsValue value;
        std::array<bool, 6> readable;
    } cases[] = {
        {std::string("1"), {1, 0, 0, 0, 0, 0}},
        {UserDefaultsData{"1"}, {0, 1, 0, 0, 0, 0}},
        {std::int64_t{1}, {0, 0, 1, 1, 0, 0}},
        {1.0, {0, 0, 0, 1, 0, 0}},
        {true, {0, 0, 0, 0, 1, 0}},
        {Date{1}, {0, 0, 0, 0, 0, 1}},
    };
    for (const auto& c : cases) {
        defaults->set(c.value, "key");
        const std::array<bool, 6> seen{
            defaults->stringForKey("key").has_value(), defaults->dataForKey("key").has_value(),
            defaults->integerForKey("key").has_value(), defaults->doubleForKey("key").has_value(),
            defaults->boolForKey("key").has_value(),   defaults->dateForKey("key").has_value(),
        };
        EXPECT_EQ(seen, c.readable) << c.value.index();
    }
    defaults->set(std::int64_t{3}, "key");
    EXPECT_EQ(defaults->doubleForKey("key"), 3.0);
    defaults->set("literal", "key");
    EXPECT_EQ(defaults->stringForKey("key"), "literal");
    EXPECT_EQ(defaults->object("missing"), std::nullopt);
}

TEST(UserDefaults, RegisteredDefaultsFillInForMissingValuesOfThisHandle) {
    TemporaryRoot root;
    auto defaults = UserDefaults::suite(suiteName);
    defaults->registerDefaults({{"a", std::int64_t{1}}, {"b", true}});
    defaults->registerDefaults({{"a", std::int64_t{2}}});
    defaults->set(std::string("stored"), "b");

    EXPECT_EQ(defaults->integerForKey("a"), 2);
    EXPECT_EQ(defaults->boolForKey("b"), std::nullopt);  // the stored string hides it
    EXPECT_EQ(defaults->dictionaryRepresentation(),
              (std::map<std::string, UserDefaultsValue>{{"a", std::int64_t{2}}, {"b", std::string("stored")}}));
    defaults->removeObject("b");
    defaults->removeObject("never-set");
    EXPECT_EQ(defaults->boolForKey("b"), true);
    EXPECT_EQ(UserDefaults::suite(suiteName)->object("a"), std::nullopt);
}

TEST(UserDefaults, KeepsFolderAndFilePrivate) {
    TemporaryRoot root;
    const auto folder = root.path() / suiteName / "Preferences";
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    std::ofstream(folder / (std::string(suiteName) + ".sqlite")).close();
    std::filesystem::permissions(folder / (std::string(suiteName) + ".sqlite"), std::filesystem::perms::all);

    auto defaults = UserDefaults::suite(suiteName);
    defaults->set(true, "k");
    EXPECT_EQ(TestSupport::modeOf(folder), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(TestSupport::modeOf(defaults->path().string() + suffix), 0600u) << suffix;
    }
}

TEST(UserDefaults, BadInputFailsWithATypedErrorAndLosesNothing) {
    TemporaryRoot root;
    using Kind = UserDefaultsError::Kind;
    const auto preferences = root.path() / suiteName / "Preferences";
    const auto file = preferences / (std::string(suiteName) + ".sqlite");
    const auto openSuite = [] { UserDefaults::suite(suiteName); };
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::function<void()> action;
        Kind expected;
    } cases[] = {
        {"empty suite", [] {}, [] { UserDefaults::suite(""); }, Kind::invalidSuiteName},
        {"suite with slash", [] {}, [] { UserDefaults::suite("a/b"); }, Kind::invalidSuiteName},
        {"dot-dot suite", [] {}, [] { UserDefaults::suite(".."); }, Kind::invalidSuiteName},
        {"not a database",
         [&] {
             std::filesystem::create_directories(preferences);
             std::ofstream(file, std::ios::binary) << std::string(4096, 'x');
         },
         openSuite, Kind::corruptStore},
        {"newer format",
         [&] {
             UserDefaults::suite(suiteName);
             std::fstream(file, std::ios::binary | std::ios::in | std::ios::out).seekp(60).write("\0\0\0\x09", 4);
         },
         openSuite, Kind::cannotOpen},
        {"folder is a file", [&] { std::ofstream(preferences) << "x"; }, openSuite, Kind::cannotOpen},
        {"NaN", [] { UserDefaults::suite(suiteName)->set(std::int64_t{7}, "n"); },
         [] { UserDefaults::suite(suiteName)->set(std::nan(""), "n"); }, Kind::invalidValue},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(root.path() / suiteName);
        std::filesystem::create_directories(preferences.parent_path());
        c.prepare();
        SCOPED_TRACE(c.name);
        const std::string before = readFile(file);
        const auto error = TestSupport::thrown<UserDefaultsError>(c.action);
        EXPECT_EQ(error ? std::optional(error->kind()) : std::nullopt, c.expected);
        EXPECT_EQ(readFile(file), before);
    }
    EXPECT_EQ(UserDefaults::suite(suiteName)->integerForKey("n"), 7);
}

const TestSupport::ChildRole writesKeys("defaults-writes-keys", [](const std::string&) {
    auto defaults = UserDefaults::suite(suiteName);
    for (const auto& sample : samples) defaults->set(sample.value, sample.key);
    for (int i = 0; i < 100; ++i) defaults->set(std::int64_t{i}, "child" + std::to_string(i));
});

TEST(UserDefaults, AnotherProcessWritesAreSeenAtOnce) {
    TemporaryRoot root;
    auto defaults = UserDefaults::suite(suiteName);
    defaults->set(std::string("parent"), "text");
    ASSERT_EQ(defaults->stringForKey("text"), "parent");

    // Both processes write at the same time; neither may lose a write, and every type
    // comes back through the file as it went in.
    auto child = TestSupport::ChildProcess::play({.role = "defaults-writes-keys", .containerRoot = root.path()});
    for (int i = 0; i < 100; ++i) defaults->set(std::int64_t{i}, "parent" + std::to_string(i));
    ASSERT_EQ(child.wait(), 0);

    for (const auto& sample : samples) EXPECT_EQ(defaults->object(sample.key), sample.value) << sample.key;
    EXPECT_EQ(defaults->dictionaryRepresentation().size(), std::size(samples) + 200);
}

TEST(UserDefaults, OneHandleServesManyThreads) {
    TemporaryRoot root;
    auto defaults = UserDefaults::suite(suiteName);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const std::string key = std::to_string(t) + "." + std::to_string(i);
                defaults->set(std::int64_t{i}, key);
                EXPECT_EQ(defaults->integerForKey(key), i);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(defaults->dictionaryRepresentation().size(), 100u);
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>

#include "Platform/json/JSONDecoder.h"
#include "tests/support/Failures.h"

using Platform::DecodingError;
using Platform::JSONDecoder;
using Platform::KeyedDecoder;
using Kind = DecodingError::Kind;

namespace {

enum class Color { red, green };

struct Child {
    std::string itemId;
    std::optional<std::int64_t> size;
    static Child decode(const KeyedDecoder& c) {
        return {.itemId = c.decode<std::string>("itemId"), .size = c.decodeIfPresent<std::int64_t>("size")};
    }
};

struct Parent {
    std::string name;
    std::vector<Child> children;
    std::optional<Child> home;
    static Parent decode(const KeyedDecoder& c) {
        return {.name = c.decode<std::string>("name"),
                .children = c.decode<std::vector<Child>>("children"),
                .home = c.tolerant<Child>("home")};
    }
};

}  // namespace

template <>
struct Platform::RawValues<Color> {
    static constexpr std::string_view typeName = "Color";
    static constexpr std::pair<Color, std::string_view> table[] = {{Color::red, "red"}, {Color::green, "green"}};
};

namespace {

// Which field names find a wire key. The lookup never builds the converted key, so it
// must agree with the conversion on every shape of key.
struct Lookup {
    static inline std::vector<std::string> names;
    std::vector<bool> found;
    static Lookup decode(const KeyedDecoder& c) {
        Lookup lookup;
        for (const auto& name : names) lookup.found.push_back(c.contains(name));
        return lookup;
    }
};

TEST(JSONDecoder, SnakeCaseKeysConvertAndLookUpAlike) {
    const struct {
        const char* wire;
        const char* converted;
        std::vector<std::string> others;  // names the key must not find
    } cases[] = {
        {"item_id", "itemId", {"item_id", "itemid", "itemIdX", "itemI", "ItemId"}},
        {"ITEM_ID", "itemId", {"ITEM_ID", "itemID"}},
        {"itemID", "itemID", {"itemId", "itemid"}},
        {"already_camelCase", "alreadyCamelcase", {"alreadyCamelCase"}},
        {"_item_id_", "_itemId_", {"itemId", "_itemId", "itemId_", "__itemId_"}},
        {"__a__b__", "__aB__", {"__ab__", "_aB_"}},
        {"a_1_b", "a1B", {"a1b"}},
        {"x__y", "xY", {"x_y", "xy"}},
        {"___", "___", {"", "__"}},
        {"a_", "a_", {"a"}},
        {"_a", "_a", {"a"}},
        {"modified_at", "modifiedAt", {"modifiedAtX", "modified", "modifiedat"}},
        {"", "", {"a"}},
    };
    const auto api = JSONDecoder::forAPIResponse();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        EXPECT_EQ(Platform::convertFromSnakeCase(c.wire), c.converted);
        Lookup::names = {c.converted};
        Lookup::names.insert(Lookup::names.end(), c.others.begin(), c.others.end());
        const auto found = api.decode<Lookup>(std::string(R"({")") + c.wire + R"(":1})").found;
        for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i], i == 0) << Lookup::names[i];
    }
}

// One row: a JSON document, the decoder to use, and either the failure kind or nothing.
struct ScalarCase {
    const char* json;
    std::function<void(const JSONDecoder&, const char*)> decode;
    std::optional<Kind> failure;
};

template <class T>
std::function<void(const JSONDecoder&, const char*)> as() {
    return [](const JSONDecoder& d, const char* json) { (void)d.decode<T>(json); };
}

TEST(JSONDecoder, StrictScalarTypes) {
    const ScalarCase cases[] = {
        {"42", as<std::int64_t>(), std::nullopt},
        {"42.0", as<std::int64_t>(), std::nullopt},
        {"42.5", as<std::int64_t>(), Kind::dataCorrupted},
        {"\"42\"", as<std::int64_t>(), Kind::typeMismatch},
        {"null", as<std::int64_t>(), Kind::valueNotFound},
        {"true", as<std::int64_t>(), Kind::typeMismatch},
        {"18446744073709551615", as<std::int64_t>(), Kind::dataCorrupted},
        {"18446744073709551615", as<std::uint64_t>(), std::nullopt},
        {"-1", as<std::uint64_t>(), Kind::dataCorrupted},
        {"-1.0", as<std::uint32_t>(), Kind::dataCorrupted},
        {"4294967296", as<std::uint32_t>(), Kind::dataCorrupted},
        {"2147483648", as<std::int32_t>(), Kind::dataCorrupted},
        {"-2147483648", as<std::int32_t>(), std::nullopt},
        {"1e300", as<std::int64_t>(), Kind::dataCorrupted},
        {"1", as<bool>(), Kind::typeMismatch},
        {"false", as<bool>(), std::nullopt},
        {"1", as<double>(), std::nullopt},
        {"\"x\"", as<double>(), Kind::typeMismatch},
        {"12", as<std::string>(), Kind::typeMismatch},
        {"\"caf\\u00e9\"", as<std::string>(), std::nullopt},
        {"{}", as<std::vector<std::int64_t>>(), Kind::typeMismatch},
        {"[1, null]", as<std::vector<std::optional<std::int64_t>>>(), std::nullopt},
        {"[1, null]", as<std::vector<std::int64_t>>(), Kind::valueNotFound},
        {"\"green\"", as<Color>(), std::nullopt},
        {"\"Green\"", as<Color>(), Kind::dataCorrupted},
        {"", as<std::int64_t>(), Kind::dataCorrupted},
        {"{\"a\":", as<std::int64_t>(), Kind::dataCorrupted},
        {"[1,2", as<std::vector<std::int64_t>>(), Kind::dataCorrupted},
    };
    const JSONDecoder decoder;
    for (const auto& row : cases) {
        try {
            row.decode(decoder, row.json);
            EXPECT_FALSE(row.failure.has_value()) << row.json << " decoded but should fail";
        } catch (const DecodingError& e) {
            ASSERT_TRUE(row.failure.has_value()) << row.json << ": " << e.debugDescription();
            EXPECT_EQ(e.kind(), *row.failure) << row.json << ": " << e.debugDescription();
        }
    }
}

TEST(JSONDecoder, RecordsReportWhereDecodingFailed) {
    const auto decoder = JSONDecoder::forAPIResponse();
    const auto parent = decoder.decode<Parent>(
        R"({"name":"n","children":[{"item_id":"a","size":3},{"size":null,"item_id":"b"}],"home":{"size":1}})");
    ASSERT_EQ(parent.children.size(), 2u);
    EXPECT_EQ(parent.children[1].itemId, "b");
    EXPECT_EQ(parent.children[0].size, 3);
    EXPECT_FALSE(parent.children[1].size.has_value());
    EXPECT_FALSE(parent.home.has_value()) << "a tolerant field swallows its own failure";

    const std::tuple<const char*, Kind, std::vector<std::string>> failures[] = {
        {R"({"children":[]})", Kind::keyNotFound, {}},
        {R"({"name":"n","children":[{"item_id":"a"},{"item":"b"}]})", Kind::keyNotFound, {"children", "Index 1"}},
        {R"({"name":"n","children":[{"item_id":7}]})", Kind::typeMismatch, {"children", "Index 0", "itemId"}},
        {R"({"name":"n","children":[{"item_id":"a","size":"big"}]})", Kind::typeMismatch,
         {"children", "Index 0", "size"}},
        {R"({"name":null,"children":[]})", Kind::valueNotFound, {"name"}},
        {R"([])", Kind::typeMismatch, {}},
    };
    for (const auto& [json, kind, path] : failures) {
        const char* document = json;  // a structured binding is not captured by clang 14
        const auto error = TestSupport::thrown<DecodingError>([&] { (void)decoder.decode<Parent>(document); });
        ASSERT_TRUE(error) << json;
        EXPECT_EQ(error->kind(), kind) << json;
        EXPECT_EQ(error->codingPath(), path) << json;
    }
}

TEST(JSONDecoder, DefaultKeysAreMatchedLiterally) {
    const JSONDecoder plain;
    EXPECT_THROW((void)plain.decode<Child>(R"({"item_id":"a"})"), DecodingError);
    EXPECT_EQ(plain.decode<Child>(R"({"itemId":"a"})").itemId, "a");
}

TEST(JSONDecoder, DateStrategies) {
    const auto api = JSONDecoder::forAPIResponse();
    EXPECT_DOUBLE_EQ(api.decode<Platform::Date>(R"("2024-05-01T18:30:00.250+09:00")").timeIntervalSince1970,
                     1714555800.25);
    EXPECT_DOUBLE_EQ(api.decode<Platform::Date>(R"("2024-05-01T09:30:00Z")").timeIntervalSince1970, 1714555800.0);
    const auto blank = TestSupport::thrown<DecodingError>([&] { (void)api.decode<Platform::Date>(R"("2024-05-01 09:30:00Z")"); });
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->kind(), Kind::dataCorrupted);
    EXPECT_EQ(blank->debugDescription(), "Failed to decode date from string: 2024-05-01 09:30:00Z");
    EXPECT_THROW((void)api.decode<Platform::Date>("1714555800"), DecodingError);

    // The default strategy counts seconds from 2001-01-01.
    EXPECT_DOUBLE_EQ(JSONDecoder{}.decode<Platform::Date>("0").timeIntervalSince1970, 978307200.0);
}

TEST(JSONDecoder, NestedDecodeOnTheSameThreadKeepsTheOuterDocument) {
    struct Outer {
        std::string inner;
        std::string after;
        static Outer decode(const KeyedDecoder& c) {
            auto text = c.decode<std::string>("inner");
            auto inner = JSONDecoder{}.decode<std::string>(text);
            return {inner, c.decode<std::string>("after")};
        }
    };
    const auto outer = JSONDecoder{}.decode<Outer>(R"({"inner":"\"x\"","after":"y"})");
    EXPECT_EQ(outer.inner, "x");
    EXPECT_EQ(outer.after, "y");
}

}  // namespace

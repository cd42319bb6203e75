#include <gtest/gtest.h>

#include "Common/fileprovider/Entry.h"
#include "Common/service/Download.h"
#include "Common/service/LSResponse.h"
#include "Common/service/TarnSearchIndex.h"
#include "Common/service/TarnItem.h"
#include "Common/service/TarnTrashItem.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/service/ItemJSON.h"
#include "tests/support/Failures.h"

using namespace Common;
using ItemJSON::Shape;
using Platform::DecodingError;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
const std::string root = rootContainerItemIdentifier();
using K = DecodingError::Kind;

TarnItem decodeItem(const Shape& shape) { return api.decode<TarnItem>(ItemJSON::item(shape)); }

TEST(TarnItem, DecodesEveryField) {
    const auto item = decodeItem({.type = "file", .id = "7", .parent = "3", .path = "--", .home = "false",
                                  .volumes = ItemJSON::volumes({2}), .extra = R"("size":1234,"ext":"csv")"});
    EXPECT_TRUE(item.type == ItemType::file && item.size == 1234 && item.ext == "csv" && item.parent->id == "3");
    EXPECT_EQ(item.modifiedAt, Platform::Date{1714555800.25});
    EXPECT_TRUE(item.pathCollection->entries.at(1).id == "p1" && item.volumes->at(0).myRole == 2);
    const auto bare = api.decode<TarnItem>(R"({"type":"folder","id":"1","name":"n"})");
    EXPECT_FALSE(bare.modifiedAt || bare.size || bare.parent || bare.volumes || bare.pathCollection || bare.ext);
}

TEST(TarnItem, MalformedRequiredPartsFailTheItem) {
    const std::string head = R"({"type":"file","id":"1","name":"n",)";
    const std::pair<std::string, K> rows[] = {
        {R"({"id":"1","name":"n"})", K::keyNotFound},
        {R"({"type":"dir","id":"1","name":"n"})", K::dataCorrupted},
        {R"({"type":"file","id":1,"name":"n"})", K::typeMismatch},
        {R"({"type":"file","id":"1","name":null})", K::valueNotFound},
        {head + R"("modified_at":"yesterday"})", K::dataCorrupted},
        {head + R"("size":"5"})", K::typeMismatch},
        {head + R"("parent":{"id":"0","name":"r","type":"folder"}})", K::keyNotFound},
        {head + R"("path_collection":{"entries":[]}})", K::keyNotFound},
        {head + R"("path_collection":{"total_count":1,"entries":[{}]}})", K::keyNotFound},
        {"[1,2]", K::typeMismatch},
        {head, K::dataCorrupted},
    };
    for (const auto& [json, kind] : rows) EXPECT_EQ(TestSupport::decodingFailure<TarnItem>(json), kind) << json;
}

TEST(TarnItem, HomeAndVolumesAreTolerant) {
    const std::string good = R"({"item_id":"v","name_without_prefix":"P","my_role":1})", none = "absent";
    const std::tuple<std::string, std::string, bool, std::optional<std::size_t>> rows[] = {
        {none, none, false, std::nullopt},
        {"null", "null", false, std::nullopt},
        {R"("true")", "{}", false, std::nullopt},
        {"1", "[" + good + R"(,{"name_without_prefix":"no item id"}])", false, std::nullopt},
        {"true", "[" + good + R"(,{"item_id":"v","name_without_prefix":"P","my_permissions":{}}])", true, std::nullopt},
        {"true", "[]", true, 0},
        {"false", "[" + good + "," + good + "]", false, 2},
    };
    for (const auto& [home, volumes, expectedHome, volumeCount] : rows) {
        const auto item = decodeItem({.home = home == none ? std::nullopt : std::optional(home),
                                      .volumes = volumes == none ? std::nullopt : std::optional(volumes)});
        EXPECT_EQ(item.home, expectedHome) << home;
        EXPECT_EQ(item.volumes ? std::optional(item.volumes->size()) : std::nullopt, volumeCount) << volumes;
    }
}

TEST(TarnItem, Identifier) {
    const std::pair<Shape, const char*> rows[] = {
        {{.type = "folder", .id = "0", .home = "true"}, "01"},   {{.type = "folder", .id = "981", .home = "true"}, "01"},
        {{.type = "file", .id = "981", .home = "true"}, "981"},  {{.type = "folder", .id = "981", .home = "false"}, "981"},
        {{.type = "folder", .id = "01x"}, "01x"},
    };
    for (const auto& [shape, expected] : rows) EXPECT_EQ(decodeItem(shape).identifier(), expected) << ItemJSON::item(shape);
}

TEST(TarnItem, ParentIdentifier) {
    const std::pair<Shape, std::string> rows[] = {
        {{.type = "folder", .home = "true"}, root},
        {{.type = "file", .path = "-V"}, root},
        {{.type = "folder", .parent = "0", .home = "true"}, root},
        {{.type = "folder", .parent = "55", .home = "true"}, "55"},
        {{.type = "file", .parent = "0", .path = "--"}, "01"},
        {{.type = "file", .parent = "0", .path = "-V"}, "01"},
        {{.type = "folder", .parent = "0", .path = "-V"}, root},
        {{.type = "folder", .parent = "0", .path = "-V-"}, "01"},
        {{.type = "folder", .parent = "0", .path = "--"}, "01"},
        {{.type = "folder", .parent = "0"}, "01"},
        {{.type = "folder", .parent = "12", .path = "-V-"}, "12"},
    };
    for (const auto& [shape, expected] : rows) EXPECT_EQ(decodeItem(shape).parentIdentifier(), expected) << ItemJSON::item(shape);
}

TEST(TarnItem, IsPjFolder) {
    const std::pair<Shape, bool> rows[] = {
        {{.parent = "0", .path = "-V"}, true},          {{.type = "file", .parent = "0", .path = "-V"}, true},
        {{.parent = "0", .path = "-V", .home = "true"}, false},
        {{.parent = "0", .path = "--"}, false},         {{.parent = "0", .path = "-V-"}, false},
        {{.parent = "0", .path = "V"}, false},          {{.parent = "9", .path = "-V"}, false},
        {{.path = "-V"}, false},                        {{.parent = "0"}, false},
    };
    for (const auto& [shape, expected] : rows) EXPECT_EQ(decodeItem(shape).isPjFolder(), expected) << ItemJSON::item(shape);
}

TEST(TarnItem, ContentTypeIgnoresTheName) {
    EXPECT_EQ(decodeItem({.type = "folder", .name = "photos.jpg"}).contentType(), Platform::ContentType::folder());
    for (const char* name : {"photo.jpg", "slides.pdf"}) {
        EXPECT_EQ(decodeItem({.type = "file", .name = name, .extra = R"("ext":"jpg")"}).contentType(),
                  Platform::ContentType::delimitedText());
    }
}

std::string window(const std::string& counts, const std::string& entries) {
    return "{" + counts + R"(,"entries":[)" + entries + "]}";
}

TEST(LSResponse, DecodesOneWindow) {
    const auto response = api.decode<LSResponse>(
        window(R"("total_count":3,"offset":0,"limit":2)",
               R"({"id":"a","name":"A","type":"file","size":10,"modified_at":"2024-05-01T09:30:00Z","home_type":"02"},)"
               R"({"id":"b","name":"B","type":"folder"})"));
    EXPECT_TRUE(response.totalCount == 3 && response.offset == 0 && response.limit == 2);
    ASSERT_EQ(response.entries.size(), 2u);
    EXPECT_EQ(response.entries[0], (LSItem{"a", "A", ItemType::file, 10, Platform::Date{1714555800}, "02"}));
    EXPECT_EQ(response.entries[1], (LSItem{"b", "B", ItemType::folder}));
}

TEST(TarnSearchIndex, Decodes) {
    const auto found = api.decode<TarnSearchIndex>(
        window(R"("total_count":120,"exceed":true,"limit":50,"offset":50)",
               ItemJSON::item({.home = "\"x\"", .volumes = "7"}) + "," + ItemJSON::item({.type = "file", .id = "9"})));
    EXPECT_TRUE(found.totalCount == 120 && found.exceed && found.limit == 50 && found.offset == 50);
    ASSERT_EQ(found.entries.size(), 2u);
    EXPECT_FALSE(found.entries[0].home) << "tolerant fields stay tolerant inside a search window";
    EXPECT_FALSE(found.entries[0].volumes.has_value());
    EXPECT_EQ(found.entries[1].id, "9");
}

// A listing or search window with one bad count or entry fails as a whole.
TEST(Windows, FailAsAWhole) {
    using Decode = std::optional<K> (*)(const std::string&);
    const Decode listing = [](const std::string& json) { return TestSupport::decodingFailure<LSResponse>(json); };
    const Decode search = [](const std::string& json) { return TestSupport::decodingFailure<TarnSearchIndex>(json); };
    const std::string item = ItemJSON::item({}), counts = R"("total_count":1,"offset":0,"limit":2)",
                      searchCounts = R"("total_count":1,"exceed":false,"limit":50,"offset":0)",
                      badType = R"({"id":"b","name":"B","type":"link"})";
    const struct {
        const char* name;
        Decode decode;
        std::string json;
        K kind;
    } rows[] = {
        {"negative total", listing, window(R"("total_count":-1,"offset":0,"limit":2)", item), K::dataCorrupted},
        {"negative offset", listing, window(R"("total_count":1,"offset":-5,"limit":2)", item), K::dataCorrupted},
        {"negative limit", listing, window(R"("total_count":1,"offset":0,"limit":-1)", item), K::dataCorrupted},
        {"fractional total", listing, window(R"("total_count":1.5,"offset":0,"limit":2)", item), K::dataCorrupted},
        {"total missing", listing, window(R"("offset":0,"limit":2)", item), K::keyNotFound},
        {"entry of an unknown type", listing, window(counts, item + "," + badType), K::dataCorrupted},
        {"entry without a name", listing, window(counts, item + R"(,{"id":"b","type":"file"})"), K::keyNotFound},
        {"entries missing", listing, R"({"total_count":1,"offset":0,"limit":2})", K::keyNotFound},
        {"exceed missing", search, window(R"("total_count":1,"limit":50,"offset":0)", item), K::keyNotFound},
        {"exceed not a boolean", search, window(R"("total_count":1,"exceed":1,"limit":50,"offset":0)", item), K::typeMismatch},
        {"search entry of an unknown type", search, window(searchCounts, item + "," + badType), K::dataCorrupted},
    };
    for (const auto& row : rows) EXPECT_EQ(row.decode(row.json), row.kind) << row.name;
}

TEST(TarnTrashItem, DecodesAndRequiresEveryField) {
    const std::string whole =
        R"({"id":3,"item_id":"77","name":"a b.txt","type":"file","deleted_at":"2024-01-02T03:04:05.5Z","size":12})";
    EXPECT_EQ(api.decode<TarnTrashItem>(whole),
              (TarnTrashItem{3, "77", "a b.txt", ItemType::file, Platform::Date{1704164645.5}, 12}));
    for (const char* key : {"\"id\"", "\"item_id\"", "\"name\"", "\"type\"", "\"deleted_at\"", "\"size\""}) {
        SCOPED_TRACE(key);
        std::string json = whole;
        json.replace(json.find(key), std::string(key).size(), "\"other\"");
        EXPECT_EQ(TestSupport::decodingFailure<TarnTrashItem>(json), K::keyNotFound);
    }
    EXPECT_EQ(TestSupport::decodingFailure<TarnTrashItem>(
                  R"({"id":3,"item_id":"77","name":"a","type":"file","deleted_at":"yesterday","size":1})"),
              K::dataCorrupted);
}

TEST(Download, EveryFieldOptional) {
    const struct {
        const char* name;
        std::string json;
        Download expected;
    } rows[] = {
        {"empty object", "{}", {}},
        {"null url", R"({"url":null})", {}},
        {"whole", R"({"url":"https://dl.test/f?t=1","token":"t","fid":"f"})", {"https://dl.test/f?t=1", "t", "f"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(api.decode<Download>(row.json), row.expected);
    }
    EXPECT_EQ(TestSupport::decodingFailure<Download>(R"({"url":5})"), K::typeMismatch);
}

}  // namespace

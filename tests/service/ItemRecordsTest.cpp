#include <gtest/gtest.h>

#include "Common/fileprovider/Entry.h"
#include "Common/service/TarnItem.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/service/ItemJSON.h"
#include "tests/support/Decoding.h"

using namespace Common;
using ItemJSON::Shape;
using Platform::DecodingError;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
const std::string root = rootContainerItemIdentifier();

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
    using K = DecodingError::Kind;
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

}  // namespace

#include <gtest/gtest.h>

#include "Common/service/Download.h"
#include "Common/service/TarnSearchIndex.h"
#include "Common/service/TarnTrashItem.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/service/ItemJSON.h"
#include "tests/support/Decoding.h"

using namespace Common;
using Platform::DecodingError;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
using K = DecodingError::Kind;

template <class T>
void expectFailure(const std::string& json, K kind) {
    EXPECT_EQ(TestSupport::decodingFailure<T>(json), kind) << json;
}

std::string index(const std::string& counts, const std::string& entries) {
    return "{" + counts + R"(,"entries":[)" + entries + "]}";
}

TEST(TarnSearchIndex, Decodes) {
    const auto window = api.decode<TarnSearchIndex>(
        index(R"("total_count":120,"exceed":true,"limit":50,"offset":50)",
              ItemJSON::item({.home = "\"x\"", .volumes = "7"}) + "," + ItemJSON::item({.type = "file", .id = "9"})));
    EXPECT_TRUE(window.totalCount == 120 && window.exceed && window.limit == 50 && window.offset == 50);
    ASSERT_EQ(window.entries.size(), 2u);
    EXPECT_FALSE(window.entries[0].home) << "tolerant fields stay tolerant inside a search window";
    EXPECT_FALSE(window.entries[0].volumes.has_value());
    EXPECT_EQ(window.entries[1].id, "9");
}

TEST(TarnSearchIndex, FailsAsAWhole) {
    const std::string counts = R"("total_count":1,"exceed":false,"limit":50,"offset":0)", item = ItemJSON::item({});
    const struct {
        const char* name;
        std::string json;
        K kind;
    } rows[] = {
        {"exceed missing", index(R"("total_count":1,"limit":50,"offset":0)", item), K::keyNotFound},
        {"exceed not a boolean", index(R"("total_count":1,"exceed":1,"limit":50,"offset":0)", item), K::typeMismatch},
        {"one bad entry", index(counts, item + R"(,{"id":"b","name":"B","type":"link"})"), K::dataCorrupted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        expectFailure<TarnSearchIndex>(row.json, row.kind);
    }
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
        expectFailure<TarnTrashItem>(json, K::keyNotFound);
    }
    expectFailure<TarnTrashItem>(R"({"id":3,"item_id":"77","name":"a","type":"file","deleted_at":"yesterday","size":1})",
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
    expectFailure<Download>(R"({"url":5})", K::typeMismatch);
}

}  // namespace

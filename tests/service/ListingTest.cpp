#include <gtest/gtest.h>

#include <memory>

#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/service/LSParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Platform/json/JSONDecoder.h"

using namespace Common;
using Platform::DecodingError;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();

TEST(ListingEndpoints, RequestLines) {
    using WebService::LSParameter;
    using WebService::TarnItemParameter;
    const std::string ls = "?offset=0&limit=100&sort=modified_at&desc=true",
                      item = "?api_version=2&fields=parent,path_collection,volumes&fields_options=limit_volume_users";
    const std::tuple<std::shared_ptr<APIParameter>, std::string, bool> rows[] = {  // isJSONRequest last
        {std::make_shared<LSParameter>("123", 0, 100), "GET /folders/123/ls" + ls, false},
        {std::make_shared<LSParameter>("01", 250, 50), "GET /folders/01/ls?offset=250&limit=50&sort=modified_at&desc=true", false},
        {std::make_shared<TarnItemParameter>("01"), "GET /items/0" + item, false},
        {std::make_shared<TarnItemParameter>("01x"), "GET /items/01x" + item, false},
        {std::make_shared<TarnItemParameter>("0"), "GET /items/0" + item, false},
        {std::make_shared<TarnItemParameter>("77", std::vector<Platform::URLQueryItem>{{"fields", "parent"}}),
         "GET /items/77?fields=parent", false},
        {std::make_shared<WebService::MyVolumesParameter>(), "GET /users/me/my_volumes", true},
    };
    for (const auto& [parameter, line, isJSONRequest] : rows) {
        EXPECT_EQ(parameter->httpRequestLine(), line);
        EXPECT_TRUE(parameter->isAuthRequired()) << line;
        EXPECT_EQ(parameter->isJSONRequest(), isJSONRequest) << line;
    }
    EXPECT_EQ(TarnItemParameter("01").id(), "0");
    EXPECT_EQ(LSParameter("01", 0, 1).id(), "01");
}

std::string listing(const std::string& counts, const std::string& entries) {
    return "{" + counts + R"(,"entries":[)" + entries + "]}";
}

TEST(LSResponse, DecodesOneWindow) {
    const auto response = api.decode<LSResponse>(
        listing(R"("total_count":3,"offset":0,"limit":2)",
                R"({"id":"a","name":"A","type":"file","size":10,"modified_at":"2024-05-01T09:30:00Z","home_type":"02"},)"
                R"({"id":"b","name":"B","type":"folder"})"));
    EXPECT_TRUE(response.totalCount == 3 && response.offset == 0 && response.limit == 2);
    ASSERT_EQ(response.entries.size(), 2u);
    EXPECT_EQ(response.entries[0], (LSItem{"a", "A", ItemType::file, 10, Platform::Date{1714555800}, "02"}));
    EXPECT_EQ(response.entries[1], (LSItem{"b", "B", ItemType::folder}));
}

TEST(LSResponse, FailsAsAWhole) {
    using K = DecodingError::Kind;
    const std::string item = R"({"id":"a","name":"A","type":"file"})";
    const std::pair<std::string, K> rows[] = {
        {listing(R"("total_count":-1,"offset":0,"limit":2)", item), K::dataCorrupted},
        {listing(R"("total_count":1,"offset":-5,"limit":2)", item), K::dataCorrupted},
        {listing(R"("total_count":1,"offset":0,"limit":-1)", item), K::dataCorrupted},
        {listing(R"("total_count":1.5,"offset":0,"limit":2)", item), K::dataCorrupted},
        {listing(R"("offset":0,"limit":2)", item), K::keyNotFound},
        {listing(R"("total_count":1,"offset":0,"limit":2)", item + R"(,{"id":"b","name":"B","type":"link"})"),
         K::dataCorrupted},
        {listing(R"("total_count":1,"offset":0,"limit":2)", item + R"(,{"id":"b","type":"file"})"), K::keyNotFound},
        {R"({"total_count":1,"offset":0,"limit":2})", K::keyNotFound},
    };
    for (const auto& [json, kind] : rows) {
        try {
            api.decode<LSResponse>(json);
            ADD_FAILURE() << json;
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.kind(), kind) << json;
        }
    }
}

}  // namespace

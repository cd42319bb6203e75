#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <memory>

#include "Common/service/CreateFolderParameter.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/MoveParameter.h"
#include "Common/service/MyFolderParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnSearchFolderItemsParameter.h"
#include "Common/service/TarnSearchTrashItemsParameter.h"
#include "Common/service/TrashParameter.h"
#include "Platform/json/JSONSerializationError.h"

using namespace Common;
using namespace Common::WebService;
using Platform::ContentType;
using Platform::URLQueryItem;

namespace {

const std::string itemDefaults = "?api_version=2&fields=parent,path_collection,volumes&fields_options=limit_volume_users";
enum class JSONRequest { no, yes };

TEST(ItemEndpoints, RequestLines) {
    const std::vector<URLQueryItem> own{{"fields", "parent"}};
    const auto search = [](const std::string& q) {
        return "GET /folders/0/search?q=" + q + "&sort=relevance&desc=true&api_version=2&min_search=1&offset=0&limit=50";
    };
    const ContentType& folder = ContentType::folder();
    const ContentType file = ContentType::delimitedText(), other{"image/jpeg"};
    const struct {
        const char* name;
        std::shared_ptr<APIParameter> parameter;
        std::string line;
        JSONRequest json;
    } rows[] = {
        {"create, defaults", std::make_shared<CreateFolderParameter>(), "POST /folders" + itemDefaults, JSONRequest::yes},
        {"create, own query", std::make_shared<CreateFolderParameter>(own), "POST /folders?fields=parent", JSONRequest::yes},
        {"rename folder", std::make_shared<RenameParameter>("42", folder), "PATCH /folders/42" + itemDefaults, JSONRequest::yes},
        {"rename file", std::make_shared<RenameParameter>("5", file), "PATCH /files/5" + itemDefaults, JSONRequest::yes},
        {"rename other type", std::make_shared<RenameParameter>("5", other), "PATCH /files/5" + itemDefaults, JSONRequest::yes},
        {"rename keeps 01", std::make_shared<RenameParameter>("01", folder), "PATCH /folders/01" + itemDefaults, JSONRequest::yes},
        {"rename, own query", std::make_shared<RenameParameter>("5", folder, own), "PATCH /folders/5?fields=parent", JSONRequest::yes},
        {"move", std::make_shared<MoveParameter>(), "POST /items/move", JSONRequest::yes},
        {"trash folder, no defaults", std::make_shared<TrashParameter>("01", folder), "DELETE /folders/01", JSONRequest::yes},
        {"trash file", std::make_shared<TrashParameter>("9", file, own), "DELETE /files/9?fields=parent", JSONRequest::yes},
        {"my folder", std::make_shared<MyFolderParameter>(), "GET /items/0?fields=parent,volumes", JSONRequest::yes},
        {"ticket", std::make_shared<DownloadParameter>("987"), "GET /files/987/token", JSONRequest::no},
        {"ticket keeps 01", std::make_shared<DownloadParameter>("01", own), "GET /files/01/token?fields=parent", JSONRequest::no},
        {"thumbnail", std::make_shared<FetchThumbnailParameter>("987"), "GET /files/987/thumbnail.jpg", JSONRequest::no},
        {"thumbnail passes items", std::make_shared<FetchThumbnailParameter>("987", std::vector<URLQueryItem>{{"v", "2"}}),
         "GET /files/987/thumbnail.jpg?v=2", JSONRequest::no},
        {"search",
         std::make_shared<TarnSearchFolderItemsParameter>("a b", 0),
         "GET /folders/0/search?q=a%20b&sort=relevance&desc=true&api_version=2&min_search=1&offset=0&limit=50",
         JSONRequest::no},
        {"search, offset 100",
         std::make_shared<TarnSearchFolderItemsParameter>("x", 100),
         "GET /folders/0/search?q=x&sort=relevance&desc=true&api_version=2&min_search=1&offset=100&limit=50",
         JSONRequest::no},
        {"search text: & and + cannot split the query, = and / stay",
         std::make_shared<TarnSearchFolderItemsParameter>("a&b+c=d/e", 0), search("a%26b%2Bc=d/e"), JSONRequest::no},
        {"search text: UTF-8 escapes in upper case", std::make_shared<TarnSearchFolderItemsParameter>("日", 0),
         search("%E6%97%A5"), JSONRequest::no},
        {"search text: empty still sent", std::make_shared<TarnSearchFolderItemsParameter>("", 0), search(""), JSONRequest::no},
        {"search text: not UTF-8 empties the query", std::make_shared<TarnSearchFolderItemsParameter>("\xc3", 0),
         "GET /folders/0/search", JSONRequest::no},
        {"trash lookup", std::make_shared<TarnSearchTrashItemsParameter>("/My folder/a b.txt"),
         "GET /trash_items/search?path=/My%20folder/a%20b.txt", JSONRequest::no},
        {"trash lookup, not UTF-8", std::make_shared<TarnSearchTrashItemsParameter>("\xff"), "GET /trash_items/search",
         JSONRequest::no},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.parameter->httpRequestLine(), row.line);
        EXPECT_TRUE(row.parameter->isAuthRequired());
        EXPECT_EQ(row.parameter->isJSONRequest(), row.json == JSONRequest::yes);
    }
}

TEST(ItemEndpoints, Bodies) {
    const struct {
        const char* name;
        Platform::Result<Platform::Data> body;
        nlohmann::json expected;
    } rows[] = {
        {"create under the personal folder", CreateFolderParameter::bodyData("Docs", "01"),
         {{"name", "Docs"}, {"parent", {{"id", "0"}}}, {"api_version", 6}}},
        {"create under the root", CreateFolderParameter::bodyData("D", "0"),
         {{"name", "D"}, {"parent", {{"id", "0"}}}, {"api_version", 6}}},
        {"create under a folder", CreateFolderParameter::bodyData("D", "011"),
         {{"name", "D"}, {"parent", {{"id", "011"}}}, {"api_version", 6}}},
        {"rename", RenameParameter::bodyData("new \"name\""), {{"name", "new \"name\""}}},
        {"move into the personal folder", MoveParameter::bodyData("7", "01"), {{"ids", {"7"}}, {"parent_id", "0"}}},
        {"move keeps the item's 01", MoveParameter::bodyData("01", "8"), {{"ids", {"01"}}, {"parent_id", "8"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.body);
        EXPECT_EQ(nlohmann::json::parse(row.body.value()), row.expected);
        EXPECT_NE(row.body.value().find("\n  \""), std::string::npos) << "pretty-printed, one member per line";
    }
    const auto refused = RenameParameter::bodyData("\xff");
    EXPECT_NE(refused.error<Platform::JSONSerializationError>(), nullptr);
}

}  // namespace

// Every endpoint descriptor of the service: its request line, whether it sends JSON, and
// the bodies it builds.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/service/AbortMultiPartUploadForModificationParameter.h"
#include "Common/service/AbortMultiPartUploadParameter.h"
#include "Common/service/CompleteMultiPartUploadForModificationParameter.h"
#include "Common/service/CompleteMultiPartUploadParameter.h"
#include "Common/service/CreateFolderParameter.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/service/DownloadParameter.h"
#include "Common/service/FetchThumbnailParameter.h"
#include "Common/service/LSParameter.h"
#include "Common/service/MoveParameter.h"
#include "Common/service/MultiPartUploadError.h"
#include "Common/service/MyFolderParameter.h"
#include "Common/service/PresignedURLForModificationParameter.h"
#include "Common/service/PresignedURLParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/TarnSearchFolderItemsParameter.h"
#include "Common/service/TarnSearchTrashItemsParameter.h"
#include "Common/service/TrashParameter.h"
#include "Common/service/internal/RetryDelay.h"
#include "Platform/json/JSONSerializationError.h"

using namespace Common;
using namespace Common::WebService;
using Platform::ContentType;
using Platform::URLQueryItem;
using Items = std::vector<URLQueryItem>;

namespace {

enum class JSONRequest { no, yes };

TEST(ServiceEndpoints, RequestLines) {
    const std::string ls = "?offset=0&limit=100&sort=modified_at&desc=true",
                      item = "?api_version=2&fields=parent,path_collection,volumes&fields_options=limit_volume_users";
    const Items own{{"fields", "parent"}};
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
        {"listing", std::make_shared<LSParameter>("123", 0, 100), "GET /folders/123/ls" + ls, JSONRequest::no},
        {"listing keeps 01", std::make_shared<LSParameter>("01", 250, 50),
         "GET /folders/01/ls?offset=250&limit=50&sort=modified_at&desc=true", JSONRequest::no},
        {"item 01 is the service's 0", std::make_shared<TarnItemParameter>("01"), "GET /items/0" + item, JSONRequest::no},
        {"item 01x", std::make_shared<TarnItemParameter>("01x"), "GET /items/01x" + item, JSONRequest::no},
        {"item, own query", std::make_shared<TarnItemParameter>("77", own), "GET /items/77?fields=parent", JSONRequest::no},
        {"my volumes", std::make_shared<MyVolumesParameter>(), "GET /users/me/my_volumes", JSONRequest::yes},
        {"create, defaults", std::make_shared<CreateFolderParameter>(), "POST /folders" + item, JSONRequest::yes},
        {"create, own query", std::make_shared<CreateFolderParameter>(own), "POST /folders?fields=parent", JSONRequest::yes},
        {"rename folder", std::make_shared<RenameParameter>("42", folder), "PATCH /folders/42" + item, JSONRequest::yes},
        {"rename file", std::make_shared<RenameParameter>("5", file), "PATCH /files/5" + item, JSONRequest::yes},
        {"rename other type", std::make_shared<RenameParameter>("5", other), "PATCH /files/5" + item, JSONRequest::yes},
        {"rename keeps 01", std::make_shared<RenameParameter>("01", folder), "PATCH /folders/01" + item, JSONRequest::yes},
        {"rename, own query", std::make_shared<RenameParameter>("5", folder, own), "PATCH /folders/5?fields=parent", JSONRequest::yes},
        {"move", std::make_shared<MoveParameter>(), "POST /items/move", JSONRequest::yes},
        {"trash folder, no defaults", std::make_shared<TrashParameter>("01", folder), "DELETE /folders/01", JSONRequest::yes},
        {"trash file", std::make_shared<TrashParameter>("9", file, own), "DELETE /files/9?fields=parent", JSONRequest::yes},
        {"my folder", std::make_shared<MyFolderParameter>(), "GET /items/0?fields=parent,volumes", JSONRequest::yes},
        {"ticket", std::make_shared<DownloadParameter>("987"), "GET /files/987/token", JSONRequest::no},
        {"ticket keeps 01", std::make_shared<DownloadParameter>("01", own), "GET /files/01/token?fields=parent", JSONRequest::no},
        {"thumbnail", std::make_shared<FetchThumbnailParameter>("987"), "GET /files/987/thumbnail.jpg", JSONRequest::no},
        {"thumbnail passes items", std::make_shared<FetchThumbnailParameter>("987", Items{{"v", "2"}}),
         "GET /files/987/thumbnail.jpg?v=2", JSONRequest::no},
        {"search", std::make_shared<TarnSearchFolderItemsParameter>("a b", 0), search("a%20b"), JSONRequest::no},
        {"search, offset 100", std::make_shared<TarnSearchFolderItemsParameter>("x", 100),
         "GET /folders/0/search?q=x&sort=relevance&desc=true&api_version=2&min_search=1&offset=100&limit=50", JSONRequest::no},
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
        {"open upload", std::make_shared<CreateMultiPartUploadParameter>(), "POST /files/s3/multipartupload", JSONRequest::yes},
        {"open upload, own query", std::make_shared<CreateMultiPartUploadParameter>(Items{{"a", "1"}}),
         "POST /files/s3/multipartupload?a=1", JSONRequest::yes},
        {"presign in the personal folder", std::make_shared<PresignedURLParameter>("01", "k", 1),
         "GET /files/s3/multipartupload/url?parent_id=0&s3key=k&part_number=1", JSONRequest::yes},
        {"presign the last part", std::make_shared<PresignedURLParameter>("555", "k", 10000),
         "GET /files/s3/multipartupload/url?parent_id=555&s3key=k&part_number=10000", JSONRequest::yes},
        {"complete upload", std::make_shared<CompleteMultiPartUploadParameter>(), "PUT /files/s3/multipartupload", JSONRequest::yes},
        {"abort upload", std::make_shared<AbortMultiPartUploadParameter>("01", "k"),
         "DELETE /files/s3/multipartupload?parent_id=0&s3key=k", JSONRequest::yes},
        {"open modification", std::make_shared<CreateMultiPartUploadForModificationParameter>(), "POST /files/s3/multipartmodify",
         JSONRequest::yes},
        {"presign a modification keeps 01", std::make_shared<PresignedURLForModificationParameter>("01", "k", UINT64_MAX),
         "GET /files/s3/multipartmodify/url?file_id=01&s3key=k&part_number=18446744073709551615", JSONRequest::yes},
        {"complete modification, own query",
         std::make_shared<CompleteMultiPartUploadForModificationParameter>(Items{{"x", "y"}, {"z", std::nullopt}}),
         "PUT /files/s3/multipartmodify?x=y&z", JSONRequest::yes},
        {"abort modification", std::make_shared<AbortMultiPartUploadForModificationParameter>("01", "k"),
         "DELETE /files/s3/multipartmodify?file_id=01&s3key=k", JSONRequest::yes},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.parameter->httpRequestLine(), row.line);
        EXPECT_TRUE(row.parameter->isAuthRequired());
        EXPECT_EQ(row.parameter->isJSONRequest(), row.json == JSONRequest::yes);
    }
    EXPECT_EQ(TarnItemParameter("01").id(), "0");
    EXPECT_EQ(LSParameter("01", 0, 1).id(), "01");
}

// Bodies are pretty-printed JSON, one member per line.
TEST(ServiceEndpoints, Bodies) {
    const struct {
        const char* name;
        Platform::Result<Platform::Data> body;
        nlohmann::json expected;
    } rows[] = {
        {"create under the personal folder", CreateFolderParameter::bodyData("Docs", "01"),
         {{"name", "Docs"}, {"parent", {{"id", "0"}}}, {"api_version", 6}}},
        {"create under a folder", CreateFolderParameter::bodyData("D", "011"),
         {{"name", "D"}, {"parent", {{"id", "011"}}}, {"api_version", 6}}},
        {"rename", RenameParameter::bodyData("new \"name\""), {{"name", "new \"name\""}}},
        {"move into the personal folder", MoveParameter::bodyData("7", "01"), {{"ids", {"7"}}, {"parent_id", "0"}}},
        {"move keeps the item's 01", MoveParameter::bodyData("01", "8"), {{"ids", {"01"}}, {"parent_id", "8"}}},
        {"open translates the personal folder", CreateMultiPartUploadParameter::bodyData("01"), {{"parent_id", "0"}}},
        {"open for new contents translates nothing", CreateMultiPartUploadForModificationParameter::bodyData("01"),
         {{"file_id", "01"}}},
        {"complete without a date", CompleteMultiPartUploadParameter::bodyData("01", "k", {"a", "b"}, "n.txt", {}),
         {{"parent_id", "0"}, {"s3key", "k"}, {"etags", {"a", "b"}}, {"name", "n.txt"}, {"mtime", "0"}}},
        {"complete for new contents has no name",
         CompleteMultiPartUploadForModificationParameter::bodyData("01", "k", {"b", "a"}, Platform::Date{90.9}),
         {{"file_id", "01"}, {"s3key", "k"}, {"etags", {"b", "a"}}, {"mtime", "90"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.body);
        EXPECT_EQ(row.body.value(), row.expected.dump(2));
    }
    EXPECT_NE(RenameParameter::bodyData("\xff").error<Platform::JSONSerializationError>(), nullptr);
    const auto name = CompleteMultiPartUploadParameter::bodyData("1", "k", {"\"e\""}, "bad\xff.txt", {});
    ASSERT_NE(name.error<MultiPartUploadError>(), nullptr);
    EXPECT_EQ(name.error<MultiPartUploadError>()->code(), MultiPartUploadError::Code::textNotSerializable);
}

TEST(ServiceEndpoints, ModificationTimeIsWholeSecondsTowardZero) {
    const double twoTo63 = std::ldexp(1.0, 63);
    const struct {
        const char* name;
        std::optional<double> seconds;
        std::optional<std::string> expected;  // none: refused
    } rows[] = {
        {"absent", std::nullopt, "0"},
        {"fraction after 1970", 90.9, "90"},
        {"fraction before 1970", -0.5, "0"},
        {"negative with fraction", -90.9, "-90"},
        {"lowest 64-bit value", -twoTo63, "-9223372036854775808"},
        {"highest double below 2^63", std::nextafter(twoTo63, 0.0), "9223372036854774784"},
        {"2^63", twoTo63, std::nullopt},
        {"below the lowest", std::nextafter(-twoTo63, -INFINITY), std::nullopt},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {"infinity", INFINITY, std::nullopt},
        {"minus infinity", -INFINITY, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<Platform::Date> date;
        if (row.seconds) date = Platform::Date{*row.seconds};
        for (const auto& body : {CompleteMultiPartUploadParameter::bodyData("1", "k", {}, "n", date),
                                 CompleteMultiPartUploadForModificationParameter::bodyData("1", "k", {}, date)}) {
            if (!row.expected) {
                ASSERT_NE(body.error<MultiPartUploadError>(), nullptr);
                EXPECT_EQ(body.error<MultiPartUploadError>()->code(), MultiPartUploadError::Code::modificationDateOutOfRange);
            } else {
                ASSERT_TRUE(body);
                EXPECT_EQ(nlohmann::json::parse(body.value())["mtime"], *row.expected);
            }
        }
    }
}

TEST(UploadRetry, Delays) {
    const UploadRetryPolicy policy{.maximumAttempts = 5, .initialDelay = 1, .maximumDelay = 5, .maximumRetryAfter = 60};
    const Platform::Date now{784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    const struct {
        const char* name;
        int retry;
        std::optional<std::string> retryAfter;
        double random;
        double expected;
    } rows[] = {
        {"first retry, top of the range", 1, std::nullopt, 0.999, 0.999},
        {"third retry doubles twice", 3, std::nullopt, 0.5, 2},
        {"ceiling holds", 10, std::nullopt, 0.5, 2.5},
        {"seconds", 1, "7", 0.9, 7},
        {"seconds past the cap", 1, "86400", 0.9, 60},
        {"HTTP date", 1, "Sun, 06 Nov 1994 08:50:07 GMT", 0.9, 30},
        {"HTTP date gone by", 1, "Sun, 06 Nov 1994 08:00:00 GMT", 0.9, 0},
        {"garbage falls back to jitter", 2, "soon", 0.25, 0.5},
        {"a month name that is none", 2, "Sun, 06 Foo 1994 08:50:07 GMT", 0.25, 0.5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto after = row.retryAfter ? detail::retryAfterSeconds(*row.retryAfter, now) : std::nullopt;
        EXPECT_DOUBLE_EQ(detail::retryDelay(policy, row.retry, after, row.random), row.expected);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>

#include "Common/service/AbortMultiPartUploadForModificationParameter.h"
#include "Common/service/AbortMultiPartUploadParameter.h"
#include "Common/service/CompleteMultiPartUploadForModificationParameter.h"
#include "Common/service/CompleteMultiPartUploadParameter.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/service/MultiPartUploadError.h"
#include "Common/service/PresignedURLForModificationParameter.h"
#include "Common/service/PresignedURLParameter.h"
#include "Common/service/internal/RetryDelay.h"

using namespace Common;
using namespace Common::WebService;

namespace {

TEST(MultiPartUpload, RequestLines) {
    const std::pair<std::function<std::unique_ptr<APIParameter>()>, std::string> rows[] = {
        {[] { return std::make_unique<CreateMultiPartUploadParameter>(); }, "POST /files/s3/multipartupload"},
        {[] { return std::make_unique<CreateMultiPartUploadParameter>(std::vector<Platform::URLQueryItem>{{"a", "1"}}); },
         "POST /files/s3/multipartupload?a=1"},
        {[] { return std::make_unique<PresignedURLParameter>("01", "k", 1); },
         "GET /files/s3/multipartupload/url?parent_id=0&s3key=k&part_number=1"},
        {[] { return std::make_unique<PresignedURLParameter>("555", "k", 10000); },
         "GET /files/s3/multipartupload/url?parent_id=555&s3key=k&part_number=10000"},
        {[] { return std::make_unique<CompleteMultiPartUploadParameter>(); }, "PUT /files/s3/multipartupload"},
        {[] { return std::make_unique<AbortMultiPartUploadParameter>("01", "k"); },
         "DELETE /files/s3/multipartupload?parent_id=0&s3key=k"},
        {[] { return std::make_unique<CreateMultiPartUploadForModificationParameter>(); }, "POST /files/s3/multipartmodify"},
        {[] { return std::make_unique<PresignedURLForModificationParameter>("01", "k", UINT64_MAX); },
         "GET /files/s3/multipartmodify/url?file_id=01&s3key=k&part_number=18446744073709551615"},
        {[] {
             return std::make_unique<CompleteMultiPartUploadForModificationParameter>(
                 std::vector<Platform::URLQueryItem>{{"x", "y"}, {"z", std::nullopt}});
         },
         "PUT /files/s3/multipartmodify?x=y&z"},
        {[] { return std::make_unique<AbortMultiPartUploadForModificationParameter>("01", "k"); },
         "DELETE /files/s3/multipartmodify?file_id=01&s3key=k"},
    };
    for (const auto& [make, line] : rows) {
        SCOPED_TRACE(line);
        const auto parameter = make();
        EXPECT_EQ(parameter->httpRequestLine(), line);
        EXPECT_TRUE(parameter->isAuthRequired());
        EXPECT_TRUE(parameter->isJSONRequest());
    }
}

TEST(MultiPartUpload, Bodies) {
    using Date = Platform::Date;
    const struct {
        const char* name;
        Platform::Result<Platform::Data> body;
        nlohmann::json expected;
    } rows[] = {
        {"open translates the personal folder", CreateMultiPartUploadParameter::bodyData("01"), {{"parent_id", "0"}}},
        {"open for new contents translates nothing", CreateMultiPartUploadForModificationParameter::bodyData("01"),
         {{"file_id", "01"}}},
        {"complete without a date", CompleteMultiPartUploadParameter::bodyData("01", "k", {"a", "b"}, "n.txt", {}),
         {{"parent_id", "0"}, {"s3key", "k"}, {"etags", {"a", "b"}}, {"name", "n.txt"}, {"mtime", "0"}}},
        {"complete for new contents has no name",
         CompleteMultiPartUploadForModificationParameter::bodyData("01", "k", {"b", "a"}, Date{90.9}),
         {{"file_id", "01"}, {"s3key", "k"}, {"etags", {"b", "a"}}, {"mtime", "90"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.body);
        EXPECT_EQ(row.body.value(), row.expected.dump(2));
    }
}

TEST(MultiPartUpload, ModificationTimeIsWholeSecondsTowardZero) {
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
        const auto body = CompleteMultiPartUploadParameter::bodyData("1", "k", {}, "n", date);
        const auto modification = CompleteMultiPartUploadForModificationParameter::bodyData("1", "k", {}, date);
        if (!row.expected) {
            for (const auto* result : {&body, &modification}) {
                const auto* error = result->error<MultiPartUploadError>();
                ASSERT_NE(error, nullptr);
                EXPECT_EQ(error->code(), MultiPartUploadError::Code::modificationDateOutOfRange);
            }
            continue;
        }
        ASSERT_TRUE(body && modification);
        EXPECT_EQ(nlohmann::json::parse(body.value())["mtime"], *row.expected);
        EXPECT_EQ(nlohmann::json::parse(modification.value())["mtime"], *row.expected);
    }
}

TEST(MultiPartUpload, TextThatIsNotUTF8IsRefused) {
    const auto body = CompleteMultiPartUploadParameter::bodyData("1", "k", {"\"e\""}, "bad\xff.txt", {});
    ASSERT_NE(body.error<MultiPartUploadError>(), nullptr);
    EXPECT_EQ(body.error<MultiPartUploadError>()->code(), MultiPartUploadError::Code::textNotSerializable);
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

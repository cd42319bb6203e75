#include <gtest/gtest.h>

#include <stdexcept>

#include "Platform/core/Result.h"

namespace {

struct SampleError : Platform::ErrorType<SampleError> {
    std::optional<std::string> errorDescription() const override { return "sample"; }
};
struct OtherError : Platform::ErrorType<OtherError> {};

TEST(Result, CarriesValueOrTypedError) {
    Platform::Result<int> ok(7);
    EXPECT_TRUE(ok.hasValue());
    EXPECT_EQ(ok.value(), 7);
    EXPECT_EQ(ok.error(), nullptr);

    auto failed = Platform::Result<int>::failure(SampleError{});
    EXPECT_FALSE(failed.hasValue());
    EXPECT_NE(failed.error<SampleError>(), nullptr);
    EXPECT_EQ(failed.error<OtherError>(), nullptr);
    EXPECT_THROW(failed.value(), SampleError);
    EXPECT_STREQ(failed.error()->what(), "sample");

    Platform::Result<void> done;
    EXPECT_NO_THROW(done.value());
    Platform::Result<void> undone(SampleError{}.clone());
    EXPECT_THROW(undone.value(), SampleError);
}

// A null error would read as success (void) or crash on first look (value) far from
// where it was made, so it is refused where it is made.
TEST(Result, RefusesANullError) {
    EXPECT_THROW(const Platform::Result<int> value{Platform::ErrorPtr{}}, std::invalid_argument);
    EXPECT_THROW(const Platform::Result<void> done{Platform::ErrorPtr{}}, std::invalid_argument);
    EXPECT_THROW(const Platform::Result<void> done{nullptr}, std::invalid_argument);
    EXPECT_TRUE(Platform::Result<void>{}.hasValue()) << "success is spelled without an error";
}

}  // namespace

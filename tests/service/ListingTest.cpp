#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "Common/connection/RailsError.h"
#include "Common/service/ListingPager.h"
#include "tests/support/Credentials.h"
#include "tests/support/LoopbackServer.h"

using namespace Common;

namespace {

std::string listingWindow(std::uint64_t total, std::uint64_t offset, std::uint64_t limit, std::uint64_t available) {
    std::string entries;
    for (auto i = offset; i < std::min(offset + limit, available); ++i) {
        if (!entries.empty()) entries += ',';
        entries += R"({"id":")" + std::to_string(i) + R"(","name":"f)" + std::to_string(i) +
                   R"(.txt","type":"file","size":)" + std::to_string(i) +
                   R"(,"modified_at":"2024-05-01T09:30:00.5Z","home_type":null})";
    }
    return R"({"total_count":)" + std::to_string(total) + R"(,"offset":)" + std::to_string(offset) +
           R"(,"limit":)" + std::to_string(limit) + R"(,"entries":[)" + entries + "]}";
}

class ListingOverLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        // Folder "big" holds 1050 children; "shrinking" claims 1000 but has 400 left;
        // "growing" claims ever more; "greedy" answers three times the window asked for;
        // "broken" fails on its third window.
        server.on("GET", "/folders/([^/]+)/ls", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string folder = request.matches[1];
            const auto offset = std::stoull(request.get_param_value("offset"));
            const auto limit = std::stoull(request.get_param_value("limit"));
            ++windows;
            if (folder == "broken" && offset >= 2 * limit) {
                response.status = 503;
                return;
            }
            const std::uint64_t total = folder == "big" ? 1050 : folder == "growing" ? offset + 2 * limit : 1000;
            const std::uint64_t available = folder == "shrinking" ? 400 : total;
            const auto answered = folder == "greedy" ? 3 * limit : limit;
            response.set_content(listingWindow(total, offset, answered, available), "application/json");
        });
        ASSERT_TRUE(server.start());
        connection.emplace(*Platform::URL::parse(server.url("")),
                           WebConnection::Options{.credentials = TestSupport::FixedCredentialSource::withToken("t")});
    }

    TestSupport::LoopbackServer server{std::chrono::seconds(60)};
    std::optional<WebConnection> connection;
    std::atomic<int> windows{0};
};

TEST_F(ListingOverLoopback, PagerWalksWindowsAndStops) {
    const struct {
        const char* folder;
        std::int64_t windowSize;
        std::uint64_t maximum;
        std::size_t entries;
        int windows;
    } rows[] = {
        {"big", 200, 1'000'000, 1050, 6},
        {"big", 1050, 1'000'000, 1050, 1},
        {"shrinking", 150, 1'000'000, 400, 4},  // the fourth window comes back empty
        {"growing", 100, 450, 450, 5},
        {"greedy", 100, 250, 250, 1},   // the bound cuts the oversized window short
        {"greedy", 100, 1'000'000, 1000, 4},
    };
    for (const auto& row : rows) {
        windows = 0;
        const ListingPager pager(*connection, row.folder, {.windowSize = row.windowSize, .maximumEntries = row.maximum});
        const auto entries = pager.all().get();
        ASSERT_EQ(entries.size(), row.entries) << row.folder;
        for (std::size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i].id, std::to_string(i)) << row.folder;
        EXPECT_EQ(windows.load(), row.windows) << row.folder;
    }
    EXPECT_EQ(server.requests().front().query, "offset=0&limit=200&sort=modified_at&desc=true");

    // A failing window ends the walk with the error, after the windows before it.
    std::promise<Platform::Result<std::uint64_t>> done;
    std::size_t handedOver = 0;
    ListingPager(*connection, "broken", {.windowSize = 100})
        .walk([&](std::vector<LSItem> window) { handedOver += window.size(); },
              [&](Platform::Result<std::uint64_t> result) { done.set_value(result); });
    const auto result = done.get_future().get();
    ASSERT_TRUE(result.error<RailsError>());
    EXPECT_EQ(result.error<RailsError>()->statusCode(), HTTPStatusCode::serviceUnavailable);
    EXPECT_EQ(handedOver, 200u);
    EXPECT_THROW(ListingPager(*connection, "big", {.windowSize = 0}), std::invalid_argument);
}

}  // namespace

#include <gtest/gtest.h>

#include <httplib.h>

#include <atomic>

#include "../platform/StoreTestSupport.h"
#include "../support/LoopbackServer.h"
#include "Common/auth/OAuthManager.h"
#include "Common/connection/RailsError.h"
#include "Common/fileprovider/Entry.h"
#include "Common/service/LSParameter.h"
#include "Common/service/ListingPager.h"
#include "Common/service/TarnItem.h"
#include "Common/service/TarnItemParameter.h"

using namespace Common;
using TestSupport::LoopbackServer;

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
        server.on("GET", "/items/([^/]+)", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(
                R"({"type":"folder","id":")" + std::string(request.matches[1]) +
                    R"(","name":"Team","modified_at":"2024-05-01T09:30:00Z","home":false,
                    "parent":{"id":"0","name":"root","type":"folder","modified_at":"2024-05-01T09:30:00Z"},
                    "path_collection":{"total_count":2,"entries":[
                      {"id":"0","name":"root","type":"folder","is_volume":false,"is_archive":false,"modified_at":"2024-05-01T09:30:00Z"},
                      {"id":"77","name":"Team","type":"folder","is_volume":true,"is_archive":false,"modified_at":"2024-05-01T09:30:00Z"}]},
                    "volumes":[{"id":5,"item_id":"77","name_without_prefix":"Team","my_role":3}]})",
                "application/json");
        });
        ASSERT_TRUE(server.start());
        connection.emplace(*Platform::URL::parse(server.url("")));
        OAuthManager::shared().setCredential(
            Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Credential>>(
                R"({"access_token":"t","token_type":"bearer","refresh_token":"r","login":"u","email":null})"));
    }

    StoreTestSupport::TemporaryRoot root;
    LoopbackServer server{std::chrono::seconds(60)};
    std::optional<WebConnection> connection;
    std::atomic<int> windows{0};
};

TEST_F(ListingOverLoopback, PagerWalksWindowsAndStops) {
    struct Row {
        const char* folder;
        std::int64_t windowSize;
        std::uint64_t maximum;
        std::size_t entries;
        int windows;
    };
    const Row rows[] = {
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

TEST_F(ListingOverLoopback, ItemLookupBecomesAnEntry) {
    const auto item = connection->makeAPICall(WebService::TarnItemParameter("77", {}), std::nullopt, false).get();
    EXPECT_TRUE(item.isPjFolder());
    EXPECT_EQ(item.volumeRole(), VolumeRole::viewer);
    const auto entry = item.entry();
    EXPECT_EQ(entry->identifier(), "77");
    EXPECT_EQ(entry->parentIdentifier(), Platform::FileProviderItemIdentifier::rootContainer().rawValue);
    EXPECT_EQ(entry->capabilities().rawValue, 0x41u);
    EXPECT_EQ(server.requests().back().query,
              "api_version=2&fields=parent,path_collection,volumes&fields_options=limit_volume_users");

    const auto listed = connection->makeAPICall(WebService::LSParameter("77", 0, 3), std::nullopt, false).get();
    ASSERT_EQ(listed.entries.size(), 3u);
    EXPECT_EQ(listed.entries[2].entry("77", VolumeRole::uploader)->capabilities().rawValue, 0x40u);
}

}  // namespace

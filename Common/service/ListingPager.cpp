#include "Common/service/ListingPager.h"

#include <algorithm>
#include <stdexcept>

#include "Common/service/LSParameter.h"
#include "Platform/core/Fulfil.h"

namespace Common {

struct ListingPager::Walk {
    WebConnection connection;
    std::string folderIdentifier;
    Options options;
    std::function<void(std::vector<LSItem>)> onWindow;
    std::function<void(Platform::Result<std::uint64_t>)> completion;
    std::uint64_t delivered = 0;
};

ListingPager::ListingPager(WebConnection connection, std::string folderIdentifier, Options options)
    : connection_(std::move(connection)), folderIdentifier_(std::move(folderIdentifier)), options_(options) {
    if (options_.windowSize <= 0) throw std::invalid_argument("ListingPager: the window size must be positive");
}

void ListingPager::walk(std::function<void(std::vector<LSItem>)> onWindow,
                        std::function<void(Platform::Result<std::uint64_t>)> completion) const {
    next(std::make_shared<Walk>(
        Walk{connection_, folderIdentifier_, options_, std::move(onWindow), std::move(completion), 0}));
}

void ListingPager::next(std::shared_ptr<Walk> walk) {
    const auto remaining = walk->options.maximumEntries - walk->delivered;
    const auto limit = static_cast<std::int64_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(walk->options.windowSize), remaining));
    const WebService::LSParameter parameter(walk->folderIdentifier, static_cast<std::int64_t>(walk->delivered), limit);
    walk->connection.makeAPICallWithReturn(
        parameter, std::nullopt, false, [walk](Platform::Result<APIResponse<LSResponse>> result) {
            if (!result) {
                walk->completion(result.error());
                return;
            }
            auto window = std::move(result).value().response;
            const auto count = window.entries.size();
            // Only as many entries as the bound still allows.
            if (count > walk->options.maximumEntries - walk->delivered) {
                window.entries.resize(walk->options.maximumEntries - walk->delivered);
            }
            walk->delivered += window.entries.size();
            if (!window.entries.empty()) walk->onWindow(std::move(window.entries));
            const bool done = count == 0 || walk->delivered >= window.totalCount ||
                              walk->delivered >= walk->options.maximumEntries;
            if (done) {
                walk->completion(walk->delivered);
            } else {
                next(walk);
            }
        });
}

std::future<std::vector<LSItem>> ListingPager::all() const {
    auto promise = std::make_shared<std::promise<std::vector<LSItem>>>();
    auto entries = std::make_shared<std::vector<LSItem>>();
    auto future = promise->get_future();
    walk([entries](std::vector<LSItem> window) { std::move(window.begin(), window.end(), std::back_inserter(*entries)); },
         [promise, entries](Platform::Result<std::uint64_t> result) {
             if (result) {
                 promise->set_value(std::move(*entries));
             } else {
                 Platform::fulfil(*promise, Platform::Result<std::vector<LSItem>>(result.error()));
             }
         });
    return future;
}

}  // namespace Common

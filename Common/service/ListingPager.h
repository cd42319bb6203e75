#pragma once

// Usage:
//
//   const Common::ListingPager pager(connection, "0", {.windowSize = 500});
//   // Every entry at once; get() throws the first error as its own type.
//   const std::vector<Common::LSItem> entries = pager.all().get();
//
//   // Or window by window, as they arrive (both run on the concurrent pool):
//   pager.walk([](std::vector<Common::LSItem> window) { std::printf("%zu more\n", window.size()); },
//              [](Platform::Result<std::uint64_t> count) {
//                  if (!count) std::puts(count.error()->what());
//              });

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Common/connection/WebConnection.h"
#include "Common/service/LSItem.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"

namespace Common {

// Walks a folder's listing window by window through a connection and hands the entries
// over as each window arrives. It stops when the folder's total count is reached, when
// a window comes back empty (a folder that shrinks while it is walked cannot make it
// loop), or at `maximumEntries`, whichever comes first.
class QUILLO_EXPORT ListingPager {
public:
    struct Options {
        // Entries asked for per window.
        std::int64_t windowSize = 200;
        // A bound for folders that keep growing while they are walked.
        std::uint64_t maximumEntries = 1'000'000;
    };

    // `folderIdentifier` is the service's identifier ("0", not "01").
    ListingPager(WebConnection connection, std::string folderIdentifier, Options options);
    ListingPager(WebConnection connection, std::string folderIdentifier)
        : ListingPager(std::move(connection), std::move(folderIdentifier), Options{}) {}

    // `onWindow` gets each window's entries in order; `completion` the number of entries
    // handed over, or the first error (the entries before it have been handed over).
    // Both run on the concurrent pool, one after the other, never at the same time.
    void walk(std::function<void(std::vector<LSItem>)> onWindow,
              std::function<void(Platform::Result<std::uint64_t>)> completion) const;

    // Every entry of the folder, or the first error thrown from get().
    [[nodiscard]] std::future<std::vector<LSItem>> all() const;

private:
    struct Walk;
    static void next(std::shared_ptr<Walk> walk);

    WebConnection connection_;
    std::string folderIdentifier_;
    Options options_;
};

}  // namespace Common

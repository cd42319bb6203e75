#pragma once

#include <vector>

#include "Platform/url/URLQueryItem.h"

namespace Common::detail {

// Without query items of their own, item requests ask for the item's parent, path and
// volumes, so the answer can become an entry with its role; given items replace these.
inline std::vector<Platform::URLQueryItem> itemQueryItemsOrDefaults(std::vector<Platform::URLQueryItem> queryItems) {
    if (!queryItems.empty()) return queryItems;
    return {
        {"api_version", "2"},
        {"fields", "parent,path_collection,volumes"},
        {"fields_options", "limit_volume_users"},
    };
}

}  // namespace Common::detail

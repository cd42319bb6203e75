#pragma once

#include <cstdint>
#include <vector>

#include "Common/service/TarnItem.h"
#include "Platform/core/Export.h"

namespace Common {

// One window of a keyword search: whole items, as the folder listing counts them. One
// entry that does not decode fails the whole answer.
struct QUILLO_EXPORT TarnSearchIndex {
    std::int64_t totalCount = 0;
    // The service's own flag, handed on unchanged.
    bool exceed = false;
    std::int64_t limit = 0;
    std::int64_t offset = 0;
    std::vector<TarnItem> entries;

    static TarnSearchIndex decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnSearchIndex&) const = default;
};

}  // namespace Common

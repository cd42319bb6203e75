#pragma once

#include <cstdint>
#include <vector>

#include "Common/service/LSItem.h"
#include "Platform/core/Export.h"

namespace Common {

// One window of a folder's children. The counts are unsigned: a negative one fails.
struct QUILLO_EXPORT LSResponse {
    // Children of the folder in all.
    std::uint64_t totalCount = 0;
    std::uint64_t offset = 0;
    std::uint64_t limit = 0;
    std::vector<LSItem> entries;

    static LSResponse decode(const Platform::KeyedDecoder& container);
    bool operator==(const LSResponse&) const = default;
};

}  // namespace Common

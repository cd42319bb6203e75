#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// A tag attached to an item.
struct QUILLO_EXPORT TarnItemTag {
    std::int64_t id = 0;
    std::optional<std::string> word;

    static TarnItemTag decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnItemTag&) const = default;
};

}  // namespace Common

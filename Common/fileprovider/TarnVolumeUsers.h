#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Common/fileprovider/TarnVolumePermissions.h"
#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// One member of a volume.
struct QUILLO_EXPORT TarnVolumeUser {
    std::optional<std::int64_t> userId;
    std::optional<TarnVolumePermissions> permissions;

    static TarnVolumeUser decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnVolumeUser&) const = default;
};

// The members of a volume as embedded in it; the service may limit the list.
struct QUILLO_EXPORT TarnVolumeUsers {
    std::optional<std::int64_t> totalCount;
    std::optional<std::vector<TarnVolumeUser>> entries;

    static TarnVolumeUsers decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnVolumeUsers&) const = default;
};

}  // namespace Common

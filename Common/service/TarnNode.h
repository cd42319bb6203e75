#pragma once

#include <optional>
#include <string>

#include "Common/fileprovider/TarnVolumePermissions.h"
#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// A node of the service's folder tree. Unlike the other records its fields may be
// changed after decoding.
struct QUILLO_EXPORT TarnNode {
    std::string id;
    std::string name;
    ItemType type = ItemType::folder;
    bool volume = false;
    std::optional<TarnVolumePermissions> myPermissions;

    static TarnNode decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnNode&) const = default;
};

}  // namespace Common

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Common/fileprovider/TarnVolumePermissions.h"
#include "Common/fileprovider/TarnVolumeUsers.h"
#include "Common/fileprovider/VolumeRole.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

class ProjectFolderEntry;

// A shared project folder as the service describes it.
struct QUILLO_EXPORT TarnVolume {
    std::optional<std::int64_t> id;
    // The volume's top folder; it becomes the identifier of the volume's entry.
    std::string itemId;
    // The display name.
    std::string nameWithoutPrefix;
    std::optional<Platform::Date> modifiedAt;
    std::optional<TarnVolumeUsers> volumeUsers;
    std::optional<TarnVolumePermissions> myPermissions;
    // Raw role of the signed-in user; kept raw so an unknown value degrades instead of failing.
    std::optional<std::int64_t> myRole;

    // uninvited when myRole is absent or no known role.
    VolumeRole volumeRole() const noexcept;
    // The volume's folder under the root container.
    std::shared_ptr<ProjectFolderEntry> entry() const;

    static TarnVolume decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnVolume&) const = default;
};

}  // namespace Common

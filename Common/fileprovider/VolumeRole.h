#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"
#include "Platform/fileprovider/FileProviderItemCapabilities.h"

namespace Common {

// The signed-in user's role in a volume: the single input of every capability
// decision. Build one from a raw value with Platform::fromRawValue<VolumeRole>.
enum class VolumeRole : std::int64_t {
    uninvited = -1,
    owner = 0,
    manager = 1,
    editor = 2,
    viewer = 3,
    previewer = 4,
    uploader = 5,
};

// The case name: "uninvited", "owner", ...
QUILLO_EXPORT std::string_view description(VolumeRole role) noexcept;

// Top-level folders (the personal folder, each volume's folder): listed and filled,
// never renamed, moved or deleted.
QUILLO_EXPORT Platform::FileProviderItemCapabilities folderCapabilities(VolumeRole role) noexcept;
// Folders below a top-level folder.
QUILLO_EXPORT Platform::FileProviderItemCapabilities inheritedFolderCapabilities(VolumeRole role) noexcept;
// Files anywhere.
QUILLO_EXPORT Platform::FileProviderItemCapabilities inheritedFileCapabilities(VolumeRole role) noexcept;

}  // namespace Common

template <>
struct Platform::RawValues<Common::VolumeRole> {
    using R = Common::VolumeRole;
    static constexpr std::string_view typeName = "VolumeRole";
    static constexpr std::pair<R, std::int64_t> table[] = {
        {R::uninvited, -1}, {R::owner, 0},     {R::manager, 1},  {R::editor, 2},
        {R::viewer, 3},     {R::previewer, 4}, {R::uploader, 5},
    };
};

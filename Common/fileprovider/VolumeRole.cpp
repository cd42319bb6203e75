#include "Common/fileprovider/VolumeRole.h"

namespace Common {

namespace {

using Caps = Platform::FileProviderItemCapabilities;

constexpr std::uint32_t none = 0;
constexpr std::uint32_t readEvict = Caps::allowsReading | Caps::allowsEvicting;            // 0x41
constexpr std::uint32_t readWriteEvict = readEvict | Caps::allowsWriting;                  // 0x43
constexpr std::uint32_t full = readWriteEvict | Caps::allowsReparenting | Caps::allowsRenaming |
                               Caps::allowsDeleting;                                       // 0x6F
constexpr std::uint32_t evictOnly = Caps::allowsEvicting;                                  // 0x40

// Removal is offered as deletion, so no row ever holds trashing or excluding from sync.
struct Row {
    std::uint32_t folder;
    std::uint32_t inheritedFolder;
    std::uint32_t inheritedFile;
};

constexpr Row rowFor(VolumeRole role) noexcept {
    switch (role) {
        case VolumeRole::owner:
        case VolumeRole::manager:
        case VolumeRole::editor: return {readWriteEvict, full, full};
        case VolumeRole::viewer: return {readEvict, readEvict, readEvict};
        // Previewers and uploaders never read file contents; uploaders still add items.
        case VolumeRole::previewer: return {readEvict, readEvict, evictOnly};
        case VolumeRole::uploader: return {readWriteEvict, readWriteEvict, evictOnly};
        case VolumeRole::uninvited: break;
    }
    return {none, none, none};
}

}  // namespace

std::string_view description(VolumeRole role) noexcept {
    switch (role) {
        case VolumeRole::uninvited: return "uninvited";
        case VolumeRole::owner: return "owner";
        case VolumeRole::manager: return "manager";
        case VolumeRole::editor: return "editor";
        case VolumeRole::viewer: return "viewer";
        case VolumeRole::previewer: return "previewer";
        case VolumeRole::uploader: return "uploader";
    }
    return "uninvited";
}

Caps folderCapabilities(VolumeRole role) noexcept { return {rowFor(role).folder}; }
Caps inheritedFolderCapabilities(VolumeRole role) noexcept { return {rowFor(role).inheritedFolder}; }
Caps inheritedFileCapabilities(VolumeRole role) noexcept { return {rowFor(role).inheritedFile}; }

}  // namespace Common

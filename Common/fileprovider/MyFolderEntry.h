#pragma once

#include "Common/fileprovider/FolderEntry.h"
#include "Platform/core/Export.h"

namespace Common {

// The user's personal folder, "01" under the root container.
class QUILLO_EXPORT MyFolderEntry final : public FolderEntry {
public:
    using FolderEntry::FolderEntry;

    // A top-level folder: filled and listed, never renamed, moved or deleted.
    Platform::FileProviderItemCapabilities capabilities() const noexcept override {
        return volumeRole_ ? folderCapabilities(*volumeRole_) : Platform::FileProviderItemCapabilities{};
    }
};

}  // namespace Common

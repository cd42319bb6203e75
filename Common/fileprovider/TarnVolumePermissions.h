#pragma once

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// What the signed-in user may do in a volume, as the service reports it. Handed to the
// callers unchanged: capabilities follow from the role, never from these flags.
struct QUILLO_EXPORT TarnVolumePermissions {
    bool canComment = false;
    bool canCopy = false;
    bool canDelete = false;
    bool canDeleteVolume = false;
    bool canDownload = false;
    bool canEditContents = false;
    bool canEditMetadata = false;
    bool canInvite = false;
    bool canLeaveVolume = false;
    bool canMove = false;
    bool canPreview = false;
    bool canRename = false;
    bool canRenameVolume = false;
    bool canSendItemBox = false;
    bool canShare = false;
    bool canUpload = false;

    static TarnVolumePermissions decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnVolumePermissions&) const = default;
};

}  // namespace Common

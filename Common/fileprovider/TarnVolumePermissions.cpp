#include "Common/fileprovider/TarnVolumePermissions.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnVolumePermissions TarnVolumePermissions::decode(const Platform::KeyedDecoder& c) {
    return {
        .canComment = c.decode<bool>("canComment"),
        .canCopy = c.decode<bool>("canCopy"),
        .canDelete = c.decode<bool>("canDelete"),
        .canDeleteVolume = c.decode<bool>("canDeleteVolume"),
        .canDownload = c.decode<bool>("canDownload"),
        .canEditContents = c.decode<bool>("canEditContents"),
        .canEditMetadata = c.decode<bool>("canEditMetadata"),
        .canInvite = c.decode<bool>("canInvite"),
        .canLeaveVolume = c.decode<bool>("canLeaveVolume"),
        .canMove = c.decode<bool>("canMove"),
        .canPreview = c.decode<bool>("canPreview"),
        .canRename = c.decode<bool>("canRename"),
        .canRenameVolume = c.decode<bool>("canRenameVolume"),
        .canSendItemBox = c.decode<bool>("canSendItemBox"),
        .canShare = c.decode<bool>("canShare"),
        .canUpload = c.decode<bool>("canUpload"),
    };
}

}  // namespace Common

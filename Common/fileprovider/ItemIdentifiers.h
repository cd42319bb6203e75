#pragma once

#include <string>
#include <string_view>

#include "Platform/fileprovider/FileProviderItemIdentifier.h"

namespace Common {

// The service's root folder; never an entry identifier.
inline constexpr std::string_view serviceRootItemIdentifier = "0";
// The user's personal folder as the file provider sees it (the service's "0").
inline constexpr std::string_view myFolderItemIdentifier = "01";

// The root of the file-provider tree: identifier of the root entry, parent of the
// personal folder and of every volume folder.
inline const std::string& rootContainerItemIdentifier() noexcept {
    return Platform::FileProviderItemIdentifier::rootContainer().rawValue;
}

// The file provider shows the service's root folder "0" as the personal folder "01";
// this turns a file-provider identifier back into the one the service knows.
inline std::string toItemID(std::string_view identifier) {
    return identifier == myFolderItemIdentifier ? std::string(serviceRootItemIdentifier) : std::string(identifier);
}

}  // namespace Common

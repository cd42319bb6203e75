#pragma once

#include <functional>
#include <future>

#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/fileprovider/FileProviderItemIdentifier.h"
#include "Platform/fileprovider/FileProviderManager.h"
#include "Platform/url/URL.h"

namespace Common {

// The identifier of the top-level folder (a volume's folder or the personal folder)
// that holds `item`, found through the user-visible URLs of the root container and
// of the item. The first failure of the manager, or CommonError::volumeNotFound, is
// passed to `completion` unchanged; it runs on the ConcurrentPool.
QUILLO_EXPORT void folderIdentifierForQuilloVolume(
    const Platform::FileProviderManager& manager, const Platform::FileProviderItemIdentifier& item,
    std::function<void(Platform::Result<Platform::FileProviderItemIdentifier>)> completion);
// The identifier, or the error thrown from get().
[[nodiscard]] QUILLO_EXPORT std::future<Platform::FileProviderItemIdentifier> folderIdentifierForQuilloVolume(
    const Platform::FileProviderManager& manager, const Platform::FileProviderItemIdentifier& item);

// The user-visible URL of the top-level folder holding the item at `itemURL`, with a
// trailing separator. The URLs are compared as text: an item outside `rootURL` throws
// CommonError::volumeNotFound. A first component that cannot be decoded stands as "/",
// so the item URL equal to the root gives the root followed by "//".
QUILLO_EXPORT Platform::URL quilloVolumeFolderURL(const Platform::URL& itemURL, const Platform::URL& rootURL);

}  // namespace Common

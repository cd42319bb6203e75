#pragma once

#include "Common/fileprovider/Entry.h"
#include "Platform/core/Export.h"

namespace Common {

// The root of the file-provider tree: named "/", dated at construction, and only
// ever listed.
class QUILLO_EXPORT RootEntry final : public Entry {
public:
    RootEntry();

    Platform::FileProviderItemCapabilities capabilities() const noexcept override { return capabilities_; }

private:
    static constexpr Platform::FileProviderItemCapabilities capabilities_{
        Platform::FileProviderItemCapabilities::allowsReading | Platform::FileProviderItemCapabilities::allowsEvicting};
};

}  // namespace Common

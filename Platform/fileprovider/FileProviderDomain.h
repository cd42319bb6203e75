#pragma once

#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// A file-provider domain: one tree the file manager shows. The library names each
// domain after the host of its backend environment.
struct QUILLO_EXPORT FileProviderDomain {
    std::string identifier;
    std::string displayName;

    bool operator==(const FileProviderDomain&) const = default;
};

}  // namespace Platform

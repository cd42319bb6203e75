#pragma once

#include <string>

namespace Platform {

// A file-provider domain: one tree the file manager shows. The library names each
// domain after the host of its backend environment.
struct FileProviderDomain {
    std::string identifier;
    std::string displayName;

    bool operator==(const FileProviderDomain&) const = default;
};

}  // namespace Platform

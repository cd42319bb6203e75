#pragma once

#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// A uniform content type, named by a media type.
struct QUILLO_EXPORT ContentType {
    std::string identifier;

    static const ContentType& folder() {
        static const ContentType type{"inode/directory"};
        return type;
    }
    static const ContentType& delimitedText() {
        static const ContentType type{"text/csv"};
        return type;
    }

    bool operator==(const ContentType&) const = default;
};

}  // namespace Platform

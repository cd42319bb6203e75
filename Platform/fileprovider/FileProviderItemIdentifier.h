#pragma once

#include <compare>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// The identifier of an item in a file-provider tree. A type of its own so that it is
// never mixed up with the service's identifiers by accident.
struct QUILLO_EXPORT FileProviderItemIdentifier {
    std::string rawValue;

    // The root of every domain's tree. No service identifier can take this form.
    static const FileProviderItemIdentifier& rootContainer() {
        static const FileProviderItemIdentifier root{".root-container"};
        return root;
    }

    auto operator<=>(const FileProviderItemIdentifier&) const = default;
};

}  // namespace Platform

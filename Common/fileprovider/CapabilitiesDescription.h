#pragma once

#include <string>

#include "Platform/core/Export.h"
#include "Platform/fileprovider/FileProviderItemCapabilities.h"

namespace Common {

// "[.allowsReading, .allowsWriting, ...]": the set bits in bit order, then the folder
// aliases of writing and reading again; "[]" for the empty set.
QUILLO_EXPORT std::string description(Platform::FileProviderItemCapabilities capabilities);

}  // namespace Common

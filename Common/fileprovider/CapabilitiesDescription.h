#pragma once

#include <string>

#include "Platform/fileprovider/FileProviderItemCapabilities.h"

namespace Common {

// "[.allowsReading, .allowsWriting, ...]": the set bits in bit order, then the folder
// aliases of writing and reading again; "[]" for the empty set.
std::string description(Platform::FileProviderItemCapabilities capabilities);

}  // namespace Common

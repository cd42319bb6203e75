#pragma once

#include <cstdint>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// Results of the keychain calls, with the platform's values so that callers can
// compare against the numbers they already know.
using OSStatus = std::int32_t;

inline constexpr OSStatus errSecSuccess = 0;
// The store could not be read or written (file system, SQLite or D-Bus failure).
inline constexpr OSStatus errSecIO = -36;
// A query or change the keychain cannot act on.
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;

// A sentence for `status`, for logs and error descriptions.
QUILLO_EXPORT std::string keychainStatusMessage(OSStatus status);

}  // namespace Platform

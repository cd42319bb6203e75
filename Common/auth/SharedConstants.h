#pragma once

namespace Common {

// Identifiers the application and its file-provider extension share.
inline constexpr const char* appGroupIdentifier = "group.com.fernwaldsky.quillo.macos";
inline constexpr const char* defaultsCredentialKey = "credential";
inline constexpr const char* defaultsCurrentUserKey = "currentUser";
inline constexpr const char* defaultsDomainKey = "domain";
inline constexpr const char* defaultsAccountKey = "account";
// Published for the host application; the library does not read it.
inline constexpr const char* defaultsPasswordKey = "password";
// Main-bundle information key whose value prefixes the keychain access group.
inline constexpr const char* appIdentifierPrefixKey = "AppIdentifierPrefix";
inline constexpr const char* keychainGroup = "com.fernwaldsky.quillo.macos.keychain.shared";
// Published for the host application; the library does not read them.
inline constexpr const char* keychainService = "com.fernwaldsky.quillo.macos";
inline constexpr const char* keychainAccountKey = "Quillo";

}  // namespace Common

#pragma once

#include <memory>
#include <string>

#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainBackend.h"

namespace Platform {

// Where a host keeps its keychain items.
//
//   Keychain::chooseSharedBackend(KeychainBackendKind::file);  // before the first Keychain::shared()
//   Keychain keychain(makeKeychainBackend({.groupIdentifier = "group.example"}), "group.example");
enum class KeychainBackendKind {
    // The Secret Service when the session bus offers one, the file store otherwise.
    // Choosing the Secret Service first moves the file store's items into it.
    automatic,
    secretService,  // the Secret Service of the session bus, whether reachable or not
    file,           // <container>/Keychains/keychain.sqlite, mode 0600
};

struct QUILLO_EXPORT KeychainBackendOptions {
    KeychainBackendKind kind = KeychainBackendKind::automatic;
    // The application group whose container holds the file store.
    std::string groupIdentifier;
    // The Secret Service collection new items go to: an alias or an object path.
    std::string collection = "default";
};

// Says in one log line which back end it made and, for the file store, why.
[[nodiscard]] QUILLO_EXPORT std::shared_ptr<KeychainBackend> makeKeychainBackend(const KeychainBackendOptions& options);

}  // namespace Platform

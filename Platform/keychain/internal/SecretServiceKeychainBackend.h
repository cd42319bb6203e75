#pragma once

#include <string>

#include "Platform/keychain/KeychainBackend.h"

namespace Platform::detail {

// Items in the Secret Service of the session bus, under a schema of their own whose
// attributes carry the identity (class, service, account, access group,
// synchronizable), the accessibility, the creation time (for oldest-first answers)
// and whether the item has data. The secret is the item's data, as bytes.
//
// The service has no unique key, so an add searches first, under a lock that the
// user's processes share ($XDG_RUNTIME_DIR/quillo-keychain.lock). Any failure to reach
// the service is errSecIO.
class SecretServiceKeychainBackend : public KeychainBackend {
public:
    // `collection`: the alias ("default", "session", ...) or object path new items go to.
    explicit SecretServiceKeychainBackend(std::string collection = "default");

    // Why items cannot go to `collection` (the service does not answer, or no collection
    // has that alias), or empty when they can. A store into a missing collection would
    // ask the user to create one, which a library must not.
    [[nodiscard]] static std::string collectionUnavailability(const std::string& collection);

    OSStatus add(const KeychainItem& item) override;
    OSStatus update(const KeychainQuery& query, const KeychainAttributes& changes) override;
    OSStatus copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) override;
    OSStatus remove(const KeychainQuery& query) override;

private:
    std::string collection_;
};

}  // namespace Platform::detail

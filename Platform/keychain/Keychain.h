#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainAttributes.h"
#include "Platform/keychain/KeychainBackend.h"
#include "Platform/keychain/KeychainBackendChoice.h"
#include "Platform/keychain/KeychainItem.h"
#include "Platform/keychain/KeychainQuery.h"
#include "Platform/keychain/KeychainStatus.h"

namespace Platform {

// Generic-password items shared by the processes of an application group.
// Calls return a status and never throw: a failing store reads as errSecIO.
// Safe from any thread.
class QUILLO_EXPORT Keychain {
public:
    static constexpr std::string_view sharedAccessGroup = "group.com.fernwaldsky.quillo.macos";

    // The process-wide keychain, on the back end chooseSharedBackend named (automatic
    // unless told): the Secret Service, or a SQLite store in the container of
    // sharedAccessGroup, which is also the access group of items added without one.
    static Keychain& shared();
    // Takes effect only before the first call of shared().
    static void chooseSharedBackend(KeychainBackendKind kind) noexcept;

    // A null backend makes every call answer errSecIO.
    explicit Keychain(std::shared_ptr<KeychainBackend> backend, std::string defaultAccessGroup = {});

    const std::string& defaultAccessGroup() const noexcept { return defaultAccessGroup_; }

    // errSecSuccess, or errSecDuplicateItem when an item with the same service, account,
    // access group and synchronizable state exists (after filling defaults).
    [[nodiscard]] OSStatus add(const KeychainAttributes& attributes);
    // errSecParam when `changes` is empty; otherwise as KeychainBackend::update.
    [[nodiscard]] OSStatus update(const KeychainQuery& query, const KeychainAttributes& changes);
    // `result` holds at most one item for matchLimit one, every match for all.
    [[nodiscard]] OSStatus copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result);
    // Deletes every match, even with matchLimit one; errSecItemNotFound when none.
    [[nodiscard]] OSStatus remove(const KeychainQuery& query);

private:
    template <class Operation>
    OSStatus perform(const char* name, Operation&& operation) noexcept;

    std::shared_ptr<KeychainBackend> backend_;
    std::string defaultAccessGroup_;
};

}  // namespace Platform

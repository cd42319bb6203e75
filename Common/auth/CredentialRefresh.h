#pragma once

// Usage:
//
//   Common::CredentialRefresh refresh(Common::OAuthManager::shared(), Common::KeychainManager::shared(),
//                                     settings);
//   auto outcome = refresh.refreshIfExpired([connection](const std::string& token, auto done) {
//       using Common::WebService::CredentialParameter;
//       connection.makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(token), false,
//                              std::move(done));
//   });
//   if (!outcome) { /* CredentialRefreshError::refusedTooOften: ask the user to sign in again */ }

#include <chrono>
#include <filesystem>

#include "Common/auth/OAuthManager.h"
#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"

namespace Common {

class KeychainManager;
class SharedContainerDefaults;

class QUILLO_EXPORT CredentialRefreshError : public Platform::ErrorType<CredentialRefreshError> {
public:
    enum class Case {
        notSignedIn,      // no credential to refresh
        refusedTooOften,  // the server refused ten refreshes in a row: sign in again
        lockUnavailable,  // the lock file could not be opened or taken in time
    };
    static CredentialRefreshError notSignedIn() { return CredentialRefreshError(Case::notSignedIn); }
    static CredentialRefreshError refusedTooOften() { return CredentialRefreshError(Case::refusedTooOften); }
    static CredentialRefreshError lockUnavailable() { return CredentialRefreshError(Case::lockUnavailable); }

    Case kind() const noexcept { return case_; }
    std::optional<std::string> errorDescription() const override;

private:
    explicit CredentialRefreshError(Case c) : case_(c) {}
    Case case_;
};

// Refreshes the shared credential so that the application and its extension never both
// spend the same refresh token (the server accepts each one once). Under a file lock in
// the group container: reload from the keychain (the other process may have refreshed
// already), refresh only if still expired, store the new credential in the keychain and
// the shared settings, and only then adopt it, so a later reload never brings back a
// spent token. A refusal (invalid_grant) counts towards canRefresh(); a success resets it.
class QUILLO_EXPORT CredentialRefresh {
public:
    enum class Outcome {
        stillValid,          // nothing to do
        refreshedElsewhere,  // another process had refreshed it; adopted from the keychain
        refreshed,           // refreshed here, stored and adopted
    };
    struct Options {
        std::chrono::milliseconds lockTimeout{std::chrono::seconds(30)};
        std::chrono::milliseconds refreshTimeout{std::chrono::seconds(90)};
        // Default: "credential-refresh.lock" in the group container.
        std::filesystem::path lockFile;
    };

    CredentialRefresh(OAuthManager& oauth, KeychainManager& keychain, SharedContainerDefaults& settings);
    CredentialRefresh(OAuthManager& oauth, KeychainManager& keychain, SharedContainerDefaults& settings,
                      Options options);

    // Blocks while it waits for the lock and the refresher; the refresher's own errors
    // come back unchanged. Storing errors come back too, after the new credential has been
    // adopted in memory, since the old refresh token is spent either way.
    [[nodiscard]] Platform::Result<Outcome> refreshIfExpired(const OAuthManager::Refresher& refresher);

private:
    OAuthManager& oauth_;
    KeychainManager& keychain_;
    SharedContainerDefaults& settings_;
    Options options_;
};

}  // namespace Common

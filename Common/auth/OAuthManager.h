#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Common/auth/Credential.h"
#include "Common/auth/CredentialSource.h"
#include "Platform/core/Result.h"
#include "Platform/core/SharedSlot.h"
#include "Platform/log/Logger.h"

namespace Common {

class KeychainManager;

// Holds the process's current credential and answers the pipeline's two questions:
// is it expired, and what is the token. Readers never wait for a refresh or a reload:
// the new credential is made first and then swapped in.
class OAuthManager : public CredentialSource {
public:
    using CredentialResult = Platform::Result<std::shared_ptr<const Credential>>;
    // Turns a refresh token into a new credential, asynchronously; calls the completion once.
    using Refresher = std::function<void(const std::string& refreshToken, std::function<void(CredentialResult)>)>;

    // Loads the credential of the selected domain from the keychain on first use.
    static OAuthManager& shared();
    // A manager on another keychain and domain source (tests).
    OAuthManager(KeychainManager& keychain, std::function<std::string()> currentDomain);

    OAuthManager(const OAuthManager&) = delete;
    OAuthManager& operator=(const OAuthManager&) = delete;

    std::shared_ptr<const Credential> credential() const override { return credential_.load(); }
    // Replaces the in-memory credential only; the stores are the caller's business.
    void setCredential(std::shared_ptr<const Credential> credential) { credential_.store(std::move(credential)); }

    std::optional<std::string> bearerToken() const;
    // No credential, or its expiration is not later than now.
    bool isExpired() const override;
    bool canRefresh() const noexcept { return countOfErrors_.load() < 10; }

    // Re-reads the selected domain's credential from the keychain (another process may
    // have stored a new one). Serialised; errors keep the current credential.
    void reloadCredential();

    // Hands the current refresh token to the refresher and adopts the credential it
    // returns. Without a credential it completes at once without calling the refresher;
    // a refresher error leaves the credential as it was and is passed on unchanged.
    void updateCredential(Refresher refresher, std::function<void(Platform::Result<void>)> completion);
    std::future<void> updateCredential(Refresher refresher);

private:
    KeychainManager& keychain_;
    std::function<std::string()> currentDomain_;
    Platform::Logger logger_;
    std::mutex serialQueue_;
    Platform::SharedSlot<const Credential> credential_;
    std::atomic<std::int64_t> countOfErrors_{0};
};

}  // namespace Common

#pragma once

// Usage:
//
//   Common::OAuthManager& oauth = Common::OAuthManager::shared();
//   oauth.reloadCredential();  // another process may have stored a newer one
//   if (oauth.isExpired() && oauth.canRefresh()) {
//       // The refresher sends the refresh-token body through the pipeline and completes once.
//       auto refresher = [connection](const std::string& refreshToken, auto completion) {
//           using Common::WebService::CredentialParameter;
//           connection.makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(refreshToken),
//                                  false, std::move(completion));
//       };
//       oauth.updateCredential(refresher).get();  // throws the refresher's error; storing is the caller's
//   }
//   const std::optional<std::string> token = oauth.bearerToken();

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Common/auth/Credential.h"
#include "Platform/core/Export.h"
#include "Common/auth/CredentialSource.h"
#include "Platform/core/Result.h"
#include "Platform/core/SharedSlot.h"
#include "Platform/log/Logger.h"

namespace Common {

class KeychainManager;

// Holds the process's current credential and answers the pipeline's two questions:
// is it expired, and what is the token. Readers never wait for a refresh or a reload:
// the new credential is made first and then swapped in.
//
// A load that fails because a store could not be read (held by another process, damaged,
// unreadable: not merely empty) is kept (lastLoadError) and logged at error level. While
// the manager then has no credential, a reader (credential, isExpired, bearerToken) starts
// one load again in the background, at most every loadRetryInterval, and returns at once;
// so a process that started while a store was busy signs in by itself once it is free.
class QUILLO_EXPORT OAuthManager : public CredentialSource {
public:
    using CredentialResult = Platform::Result<std::shared_ptr<const Credential>>;
    // Turns a refresh token into a new credential, asynchronously; calls the completion once.
    using Refresher = std::function<void(const std::string& refreshToken, std::function<void(CredentialResult)>)>;

    // Loads the credential of the selected domain from the keychain on first use.
    static OAuthManager& shared();
    // A manager on another keychain and domain source (tests).
    OAuthManager(KeychainManager& keychain, std::function<std::string()> currentDomain);
    // Waits for a background load still running.
    ~OAuthManager();

    static constexpr std::chrono::seconds loadRetryInterval{2};

    OAuthManager(const OAuthManager&) = delete;
    OAuthManager& operator=(const OAuthManager&) = delete;

    std::shared_ptr<const Credential> credential() const override;
    // Replaces the in-memory credential only; the stores are the caller's business.
    void setCredential(std::shared_ptr<const Credential> credential) { credential_.store(std::move(credential)); }

    std::optional<std::string> bearerToken() const;
    // No credential, or its expiration is not later than now.
    bool isExpired() const override;
    bool canRefresh() const noexcept { return countOfErrors_.load() < 10; }
    // The error counter behind canRefresh: one more for each refresh the server refused,
    // back to zero after one that succeeded (CredentialRefresh keeps it so).
    void countRefusedRefresh() noexcept { ++countOfErrors_; }
    void resetRefusedRefreshes() noexcept { countOfErrors_.store(0); }
    std::int64_t countOfErrors() const noexcept { return countOfErrors_.load(); }

    // Re-reads the selected domain's credential from the keychain (another process may
    // have stored a new one). Serialised; errors keep the current credential.
    void reloadCredential();

    // Why the last load (construction, reload or background retry) failed; null after one
    // that succeeded.
    Platform::ErrorPtr lastLoadError() const { return loadError_.load(); }
    // Waits at most `timeout` for a background load to finish; true when none is running.
    [[nodiscard]] bool waitForPendingLoad(std::chrono::milliseconds timeout) const;

    // Hands the current refresh token to the refresher and adopts the credential it
    // returns. Without a credential it completes at once without calling the refresher;
    // a refresher error leaves the credential as it was and is passed on unchanged.
    void updateCredential(Refresher refresher, std::function<void(Platform::Result<void>)> completion);
    [[nodiscard]] std::future<void> updateCredential(Refresher refresher);

private:
    // Loads the selected domain's credential and keeps the outcome. Callers hold serialQueue_.
    Platform::ErrorPtr loadLocked();
    // The background load; runs on its own thread.
    void retryLoad();
    // Starts retryLoad when the last load failed for a store's sake and it is due. Never waits.
    void retryLoadIfDue() const;

    KeychainManager& keychain_;
    std::function<std::string()> currentDomain_;
    Platform::Logger logger_;
    std::mutex serialQueue_;
    Platform::SharedSlot<const Credential> credential_;
    std::atomic<std::int64_t> countOfErrors_{0};
    Platform::SharedSlot<const Platform::Error> loadError_;
    // Set while the last load failed for a store's sake; the readers' cheap test.
    std::atomic<bool> retryWanted_{false};
    mutable std::mutex retryMutex_;  // guards the two below
    mutable std::shared_future<void> pendingLoad_;
    std::chrono::steady_clock::time_point nextRetry_{};
};

}  // namespace Common

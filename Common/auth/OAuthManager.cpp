#include "Common/auth/OAuthManager.h"

#include <system_error>

#include "Common/auth/KeychainError.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Platform/core/Fulfil.h"
#include "Platform/keychain/KeychainStatus.h"
#include "Platform/time/Clock.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Common {

namespace {

std::string iso8601(Platform::Date date) { return Platform::ISO8601DateFormatter::withFractionalSeconds().string(date); }

std::string selectedDomain() { return SharedContainerDefaults::sharedContainerDefaults().domain(); }

// A store that could not be read, as opposed to one that holds no credential.
bool isStoreFailure(const Platform::Error& error) {
    if (dynamic_cast<const SharedDefaultsError*>(&error)) return true;
    const auto* keychain = dynamic_cast<const KeychainError*>(&error);
    return keychain && keychain->status() && *keychain->status() != Platform::errSecItemNotFound;
}

std::string describe(const Platform::Error& error) {
    auto text = error.errorDescription().value_or(error.what());
    if (const auto reason = error.failureReason()) text += ": " + *reason;
    return text;
}

}  // namespace

OAuthManager& OAuthManager::shared() {
    static OAuthManager instance(KeychainManager::shared(), selectedDomain);
    return instance;
}

OAuthManager::OAuthManager(KeychainManager& keychain, std::function<std::string()> currentDomain)
    : keychain_(keychain),
      currentDomain_(std::move(currentDomain)),
      logger_(Platform::Logger::defaultSubsystem(), "OAuthManager") {
    std::lock_guard serial(serialQueue_);
    // Not signed in yet, or nothing readable stored, starts without a credential and
    // without a line; a store that could not be read is worth one.
    try {
        if (const auto error = loadLocked(); error && isStoreFailure(*error)) {
            logger_.error("loadCredential() %{public}s", describe(*error));
        }
    } catch (const std::exception& error) {
        logger_.error("loadCredential() %{public}s", error.what());
    }
}

OAuthManager::~OAuthManager() {
    std::shared_future<void> pending;
    {
        std::lock_guard lock(retryMutex_);
        pending = pendingLoad_;
    }
    if (pending.valid()) pending.wait();
}

Platform::ErrorPtr OAuthManager::loadLocked() {
    try {
        credential_.store(keychain_.credential(currentDomain_()));
        loadError_.store(nullptr);
        retryWanted_.store(false);
        return nullptr;
    } catch (const Platform::Error& error) {
        auto kept = error.clone();
        loadError_.store(kept);
        retryWanted_.store(isStoreFailure(error));
        return kept;
    } catch (const std::exception&) {
        // Not a store's answer (memory, threads): the caller reports it, nothing retries it.
        loadError_.store(nullptr);
        retryWanted_.store(false);
        throw;
    }
}

void OAuthManager::retryLoad() {
    {
        std::lock_guard serial(serialQueue_);
        // A reload or a new credential may have come first.
        try {
            if (!credential_.load()) {
                if (const auto error = loadLocked(); error && isStoreFailure(*error)) {
                    logger_.error("loadCredential() %{public}s", describe(*error));
                }
            }
        } catch (const std::exception& error) {
            logger_.error("loadCredential() %{public}s", error.what());
        }
    }
    std::lock_guard lock(retryMutex_);
    nextRetry_ = std::chrono::steady_clock::now() + loadRetryInterval;
}

void OAuthManager::retryLoadIfDue() const {
    if (!retryWanted_.load()) return;
    std::unique_lock lock(retryMutex_, std::try_to_lock);
    if (!lock) return;
    if (pendingLoad_.valid() && pendingLoad_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    if (std::chrono::steady_clock::now() < nextRetry_ || credential_.load()) return;
    // Readers are const; a load they start changes only what the manager holds, under its own locks.
    auto* self = const_cast<OAuthManager*>(this);
    // A thread of its own: the load may wait for a busy store, which the pool must not.
    try {
        pendingLoad_ = std::async(std::launch::async, [self] { self->retryLoad(); }).share();
    } catch (const std::system_error&) {
        // No thread to be had now; a later read tries again.
    }
}

bool OAuthManager::waitForPendingLoad(std::chrono::milliseconds timeout) const {
    std::shared_future<void> pending;
    {
        std::lock_guard lock(retryMutex_);
        pending = pendingLoad_;
    }
    return !pending.valid() || pending.wait_for(timeout) == std::future_status::ready;
}

std::shared_ptr<const Credential> OAuthManager::credential() const {
    retryLoadIfDue();
    return credential_.load();
}

std::optional<std::string> OAuthManager::bearerToken() const {
    const auto credential = this->credential();
    if (!credential) return std::nullopt;
    return credential->bearerToken();
}

bool OAuthManager::isExpired() const {
    retryLoadIfDue();
    const auto credential = credential_.load();
    if (!credential) return true;
    const auto now = Platform::Clock::now();
    if (now < credential->expiration()) return false;
    logger_.debug("👺 Credential need to be updated (%{public}s <= %{public}s)", iso8601(credential->expiration()),
                  iso8601(now));
    return true;
}

void OAuthManager::reloadCredential() {
    std::lock_guard serial(serialQueue_);
    try {
        if (const auto error = loadLocked()) {
            logger_.error("reloadCredential() %{public}s", error->errorDescription().value_or(error->what()));
            return;
        }
    } catch (const std::exception& error) {
        logger_.error("reloadCredential() %{public}s", error.what());
        return;
    }
    logger_.debug("👺 reloadCredential() Reload \"Quillo Credential\"");
}

void OAuthManager::updateCredential(Refresher refresher, std::function<void(Platform::Result<void>)> completion) {
    const auto current = credential_.load();
    if (!current) {
        completion({});
        return;
    }
    auto adopt = [this, current, completion](CredentialResult result) {
        if (!result) {
            completion(result.error());
            return;
        }
        auto fresh = std::move(result).value();
        if (!fresh) {
            completion({});
            return;
        }
        logger_.debug("Updated credential: %{public}s -> %{public}s", iso8601(current->expiration()),
                      iso8601(fresh->expiration()));
        credential_.store(std::move(fresh));
        completion({});
    };
    try {
        refresher(current->refreshToken(), std::move(adopt));
    } catch (const Platform::Error& error) {
        // A refresher that fails before going asynchronous fails the same way.
        completion(error.clone());
    }
}

std::future<void> OAuthManager::updateCredential(Refresher refresher) {
    auto promise = std::make_shared<std::promise<void>>();
    auto future = promise->get_future();
    updateCredential(std::move(refresher),
                     [promise](Platform::Result<void> result) { Platform::fulfil(*promise, result); });
    return future;
}

}  // namespace Common

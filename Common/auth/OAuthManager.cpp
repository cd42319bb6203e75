#include "Common/auth/OAuthManager.h"

#include "Common/auth/KeychainManager.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Platform/core/Fulfil.h"
#include "Platform/time/Clock.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Common {

namespace {

std::string iso8601(Platform::Date date) { return Platform::ISO8601DateFormatter::withFractionalSeconds().string(date); }

std::string selectedDomain() { return SharedContainerDefaults::sharedContainerDefaults().domain(); }

}  // namespace

OAuthManager& OAuthManager::shared() {
    static OAuthManager instance(KeychainManager::shared(), selectedDomain);
    return instance;
}

OAuthManager::OAuthManager(KeychainManager& keychain, std::function<std::string()> currentDomain)
    : keychain_(keychain),
      currentDomain_(std::move(currentDomain)),
      logger_(Platform::Logger::defaultSubsystem(), "OAuthManager") {
    try {
        credential_.store(keychain_.credential(currentDomain_()));
    } catch (const std::exception&) {
        // Not signed in yet, or nothing readable stored: start without a credential.
    }
}

std::optional<std::string> OAuthManager::bearerToken() const {
    const auto credential = credential_.load();
    if (!credential) return std::nullopt;
    return credential->bearerToken();
}

bool OAuthManager::isExpired() const {
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
        credential_.store(keychain_.credential(currentDomain_()));
        logger_.debug("👺 reloadCredential() Reload \"Quillo Credential\"");
    } catch (const std::exception& error) {
        const auto* platformError = dynamic_cast<const Platform::Error*>(&error);
        logger_.error("reloadCredential() %{public}s",
                      platformError ? platformError->errorDescription().value_or(error.what()) : error.what());
    }
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

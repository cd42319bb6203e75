#include "Common/auth/CredentialRefresh.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>

#include "Common/auth/KeychainManager.h"
#include "Common/auth/SharedConstants.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/OAuthErrorBody.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/log/Logger.h"

namespace Common {

namespace {

using Platform::FileDescriptor;

const Platform::Logger& logger() {
    static const Platform::Logger instance(Platform::Logger::defaultSubsystem(), "CredentialRefresh");
    return instance;
}

// The lock is the file's flock, so it goes with the process: a refresher that crashes
// never leaves the other process locked out.
FileDescriptor lockFile(const std::filesystem::path& path, std::chrono::milliseconds timeout) {
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) return {};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // The other holder is in the middle of one token request: short pauses, growing.
    for (auto pause = std::chrono::milliseconds(1); ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0;
         pause = std::min(pause * 2, std::chrono::milliseconds(50))) {
        if (errno != EWOULDBLOCK && errno != EINTR) return {};
        if (std::chrono::steady_clock::now() + pause > deadline) return {};
        std::this_thread::sleep_for(pause);
    }
    return fd;
}

}  // namespace

std::optional<std::string> CredentialRefreshError::errorDescription() const {
    switch (case_) {
        case Case::notSignedIn: return "No credential to refresh; sign in first.";
        case Case::refusedTooOften: return "The server refused the credential's refresh too often; sign in again.";
        case Case::lockUnavailable: return "Another process holds the credential refresh lock.";
    }
    return std::nullopt;
}

CredentialRefresh::CredentialRefresh(OAuthManager& oauth, KeychainManager& keychain, SharedContainerDefaults& settings)
    : CredentialRefresh(oauth, keychain, settings, Options{}) {}

CredentialRefresh::CredentialRefresh(OAuthManager& oauth, KeychainManager& keychain, SharedContainerDefaults& settings,
                                     Options options)
    : oauth_(oauth), keychain_(keychain), settings_(settings), options_(std::move(options)) {}

Platform::Result<CredentialRefresh::Outcome> CredentialRefresh::refreshIfExpired(
    const OAuthManager::Refresher& refresher) {
    auto path = options_.lockFile;
    if (path.empty()) {
        const auto container = Platform::ApplicationGroupContainer::containerURL(appGroupIdentifier);
        if (!container) return Platform::Result<Outcome>::failure(CredentialRefreshError::lockUnavailable());
        path = *container / "credential-refresh.lock";
    }
    const auto lock = lockFile(path, options_.lockTimeout);
    if (!lock) {
        logger().error("Credential refresh lock unavailable: %{public}s", path.string());
        return Platform::Result<Outcome>::failure(CredentialRefreshError::lockUnavailable());
    }

    const auto before = oauth_.credential();
    oauth_.reloadCredential();
    const auto current = oauth_.credential();
    if (!current) return Platform::Result<Outcome>::failure(CredentialRefreshError::notSignedIn());
    if (!oauth_.isExpired()) {
        const bool changed = !before || before->refreshToken() != current->refreshToken();
        if (!changed) return Outcome::stillValid;
        // Refused tokens belong to the credential that has just been replaced.
        oauth_.resetRefusedRefreshes();
        return Outcome::refreshedElsewhere;
    }
    if (!oauth_.canRefresh()) return Platform::Result<Outcome>::failure(CredentialRefreshError::refusedTooOften());

    std::promise<OAuthManager::CredentialResult> answered;
    auto answer = answered.get_future();
    try {
        refresher(current->refreshToken(), [&answered, once = std::make_shared<std::once_flag>()](
                                               OAuthManager::CredentialResult result) {
            std::call_once(*once, [&] { answered.set_value(std::move(result)); });
        });
    } catch (const Platform::Error& error) {
        return error.clone();
    }
    if (answer.wait_for(options_.refreshTimeout) != std::future_status::ready) {
        // The refresher may still complete into `answered`: it must not outlive it.
        logger().error("Credential refresh timed out");
        answer.wait();
        return Platform::Result<Outcome>::failure(CommonError::timedOut());
    }
    auto result = answer.get();
    if (!result) {
        if (const auto body = OAuthErrorBody::from(*result.error()); body && body->isInvalidGrant()) {
            oauth_.countRefusedRefresh();
            logger().error("Credential refresh refused (%{public}s in a row)",
                           std::to_string(oauth_.countOfErrors()));
        }
        return result.error();
    }
    auto fresh = std::move(result).value();
    if (!fresh) return Platform::Result<Outcome>::failure(CommonError::unexpected());

    Platform::ErrorPtr storeError;
    try {
        keychain_.setCredential(*fresh, settings_.domain());
        settings_.setCredential(fresh);
    } catch (const Platform::Error& error) {
        storeError = error.clone();
        logger().error("Refreshed credential not stored: %{public}s", std::string(error.what()));
    }
    auto adopted = oauth_.updateCredential(
        [fresh](const std::string&, std::function<void(OAuthManager::CredentialResult)> done) { done(fresh); });
    adopted.get();
    oauth_.resetRefusedRefreshes();
    if (storeError) return storeError;
    return Outcome::refreshed;
}

}  // namespace Common

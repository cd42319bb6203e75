#include "Common/auth/SharedContainerDefaults.h"

#include <type_traits>

#include "Common/auth/SharedConstants.h"
#include "Common/auth/internal/CredentialArchiveName.h"
#include "Common/connection/QuilloBackend.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/defaults/UserDefaults.h"

namespace Common {

SharedContainerDefaults SharedContainerDefaults::sharedContainerDefaults(const Platform::StoreOptions& options) {
    std::shared_ptr<Platform::UserDefaults> defaults;
    try {
        defaults = Platform::UserDefaults::suite(appGroupIdentifier, options);
    } catch (const Platform::Error& error) {
        const SharedDefaultsError failure(error.errorDescription().value_or(error.what()));
        Platform::Logger(Platform::Logger::defaultSubsystem(), "UserDefaults")
            .error("%{public}s: %{public}s", failure.errorDescription().value_or(""), failure.failureReason().value_or(""));
        throw failure;
    }
    defaults->registerDefaults({});
    return SharedContainerDefaults(std::move(defaults));
}

SharedContainerDefaults::SharedContainerDefaults(std::shared_ptr<Platform::UserDefaults> defaults)
    : defaults_(std::move(defaults)) {}

Platform::Logger SharedContainerDefaults::logger() const {
    return Platform::Logger(Platform::Logger::defaultSubsystem(), "UserDefaults");
}

template <class T>
std::shared_ptr<const T> SharedContainerDefaults::readArchive(const char* key, const char* faultFormat) const {
    if constexpr (std::is_same_v<T, Credential>) detail::useCredentialArchiveClassName();
    try {
        const auto bytes = defaults_->dataForKey(key);
        if (!bytes) return nullptr;
        return Platform::KeyedUnarchiver::unarchivedObject<T>(*bytes);
    } catch (const Platform::Error& error) {
        logger().fault(faultFormat, error.errorDescription().value_or(error.what()));
        return nullptr;
    }
}

template <class T>
void SharedContainerDefaults::writeArchive(const char* key, const char* faultFormat,
                                           const std::shared_ptr<const T>& value) {
    if (!value) {
        defaults_->removeObject(key);
        return;
    }
    if constexpr (std::is_same_v<T, Credential>) detail::useCredentialArchiveClassName();
    Platform::Data bytes;
    try {
        bytes = Platform::KeyedArchiver::archivedData(*value, /*requiringSecureCoding*/ true);
    } catch (const Platform::ArchiveError& error) {
        logger().fault(faultFormat, error.errorDescription().value_or(error.what()));
        defaults_->removeObject(key);
        return;
    }
    defaults_->set(Platform::UserDefaultsData{std::move(bytes)}, key);
}

std::shared_ptr<const Credential> SharedContainerDefaults::credential() const {
    return readArchive<Credential>(defaultsCredentialKey, "getter:credential %{public}s");
}

void SharedContainerDefaults::setCredential(const std::shared_ptr<const Credential>& credential) {
    writeArchive(defaultsCredentialKey, "setter:credential %{public}s", credential);
}

std::shared_ptr<const TarnUser> SharedContainerDefaults::currentUser() const {
    return readArchive<TarnUser>(defaultsCurrentUserKey, "getter:currentUser %{public}s");
}

void SharedContainerDefaults::setCurrentUser(const std::shared_ptr<const TarnUser>& user) {
    writeArchive(defaultsCurrentUserKey, "setter:currentUser %{public}s", user);
}

void SharedContainerDefaults::modifyCurrentUser(const std::function<void(std::shared_ptr<const TarnUser>&)>& change) {
    auto user = currentUser();
    change(user);
    setCurrentUser(user);
}

std::string SharedContainerDefaults::domain() const {
    if (auto domain = defaults_->stringForKey(defaultsDomainKey)) return *domain;
    return std::string(Platform::rawValue(QuilloBackend::Domain::production));
}

void SharedContainerDefaults::setDomain(std::string_view domain) {
    defaults_->set(std::string(domain), defaultsDomainKey);
}

std::optional<std::string> SharedContainerDefaults::account() const {
    return defaults_->stringForKey(defaultsAccountKey);
}

void SharedContainerDefaults::setAccount(const std::optional<std::string>& account) {
    if (account) {
        defaults_->set(*account, defaultsAccountKey);
    } else {
        defaults_->removeObject(defaultsAccountKey);
    }
}

}  // namespace Common

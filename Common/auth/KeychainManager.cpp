#include "Common/auth/KeychainManager.h"

#include "Common/auth/KeychainError.h"
#include "Common/auth/SharedConstants.h"
#include "Common/auth/internal/CredentialArchiveName.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/bundle/Bundle.h"
#include "Platform/core/UTF8.h"
#include "Platform/keychain/Keychain.h"

namespace Common {

namespace {

constexpr const char* credentialService = "Quillo Credential";
constexpr const char* passwordService = "Quillo Secret";
constexpr const char* deviceSecretsService = "Quillo Device Secrets";
constexpr const char* deviceSecretsAccount = "DeviceSecret";

std::string makeAccessGroup() {
    const auto bundle = Platform::Bundle::main();
    if (!bundle) return {};
    const auto prefix = bundle->objectForInfoDictionaryKey(appIdentifierPrefixKey);
    return prefix ? *prefix + keychainGroup : std::string();
}

}  // namespace

KeychainManager& KeychainManager::shared() {
    static KeychainManager instance(Platform::Keychain::shared());
    return instance;
}

KeychainManager::KeychainManager(Platform::Keychain& keychain)
    : keychain_(keychain),
      accessGroup_(makeAccessGroup()),
      logger_(Platform::Logger::defaultSubsystem(), "KeychainManager") {}

std::shared_ptr<const Credential> KeychainManager::delegateCredential() const {
    std::lock_guard lock(delegateMutex_);
    return delegateCredential_;
}

void KeychainManager::setDelegateCredential(std::shared_ptr<const Credential> credential) {
    std::lock_guard lock(delegateMutex_);
    delegateCredential_ = std::move(credential);
}

std::shared_ptr<const Credential> KeychainManager::credential(std::string_view domain) const {
    const auto data = read("credential(forDomain:) Failed to read: %d", credentialService, domain);
    detail::useCredentialArchiveClassName();
    std::shared_ptr<const Credential> credential;
    if (data) credential = Platform::KeyedUnarchiver::unarchivedObject<Credential>(*data);
    if (!credential) {
        logger_.error("credential(forDomain:) Failed to get a credential from keychain");
        throw KeychainError::credentialNotFound();
    }
    return credential;
}

void KeychainManager::setCredential(const Credential& credential, std::string_view domain) {
    detail::useCredentialArchiveClassName();
    auto data = Platform::KeyedArchiver::archivedData(credential, /*requiringSecureCoding*/ true);
    write("setCredential(_:forDomain:) Failed: %{public}d", credentialService, std::string(domain), std::move(data));
}

void KeychainManager::removeCredential() { remove("removeCredential(forDomain:) Failed to remove: %d", credentialService); }

std::string KeychainManager::password(std::string_view account) const {
    auto data = read("password(forAccount:) Failed to read: %d", passwordService, account);
    if (!data || !Platform::isValidUTF8(*data)) throw KeychainError::keyNotFound();
    return std::move(*data);
}

void KeychainManager::setPassword(std::string_view password, std::string_view account) {
    write("setPassword(_:forAccount:) Failed: %{public}d", passwordService, std::string(account),
          Platform::Data(password));
}

void KeychainManager::removePassword() { remove("removePassword() Failed to remove: %d", passwordService); }

void KeychainManager::setDeviceSecrets(const std::vector<std::shared_ptr<DeviceSecret>>& secrets) {
    auto data = Platform::KeyedArchiver::archivedData(secrets, /*requiringSecureCoding*/ false);
    write("setDeviceSecrets(_:) Failed: %{public}d", deviceSecretsService, deviceSecretsAccount, std::move(data));
}

std::optional<Platform::Data> KeychainManager::read(const char* failureMessage, const std::string& service,
                                                    std::string_view account) const {
    const Platform::KeychainQuery query{.service = service,
                                        .account = std::string(account),
                                        .accessGroup = accessGroup_,
                                        .synchronizable = true,
                                        .matchLimit = Platform::KeychainMatchLimit::one,
                                        .returnData = true};
    std::vector<Platform::KeychainItem> items;
    const auto status = keychain_.copyMatching(query, items);
    if (status != Platform::errSecSuccess) {
        logger_.error(failureMessage, status);
        throw KeychainError::keyNotFound(status);
    }
    if (items.empty()) return std::nullopt;
    return std::move(items.front().data);
}

void KeychainManager::write(const char* failureMessage, const std::string& service, const std::string& account,
                            Platform::Data valueData) {
    const Platform::KeychainQuery query{.service = service,
                                        .account = account,
                                        .accessGroup = accessGroup_,
                                        .synchronizable = true,
                                        .accessible = Platform::KeychainAccessible::afterFirstUnlock};
    auto status = keychain_.add({.service = service,
                                 .account = account,
                                 .accessGroup = accessGroup_,
                                 .synchronizable = true,
                                 .accessible = Platform::KeychainAccessible::afterFirstUnlock,
                                 .valueData = valueData});
    if (status == Platform::errSecDuplicateItem) {
        logger_.debug("OK: errSecDuplicateItem");
        status = keychain_.update(query, {.account = account, .valueData = std::move(valueData)});
    }
    if (status != Platform::errSecSuccess) {
        logger_.error(failureMessage, status);
        throw KeychainError::keyNotFound(status);
    }
}

void KeychainManager::remove(const char* failureMessage, const std::string& service) {
    const auto status = keychain_.remove({.service = service,
                                          .accessGroup = accessGroup_,
                                          .synchronizable = true,
                                          .matchLimit = Platform::KeychainMatchLimit::one,
                                          .returnData = true});
    if (status != Platform::errSecSuccess && status != Platform::errSecItemNotFound) {
        logger_.error(failureMessage, status);
        throw KeychainError::keyNotFound(status);
    }
}

}  // namespace Common

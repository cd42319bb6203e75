#pragma once

// Usage:
//
//   Common::KeychainManager& keychain = Common::KeychainManager::shared();
//   const auto domain = Platform::rawValue(Common::QuilloBackend::Domain::production);
//   keychain.setCredential(*credential, domain);
//   std::shared_ptr<const Common::Credential> stored = keychain.credential(domain);  // KeychainError on a miss
//   keychain.setPassword("p&ss+w=rd", "alice");
//   const std::string password = keychain.password("alice");
//   keychain.removeCredential();
//
//   // Tests keep their items in a file of their own:
//   Platform::Keychain local(std::make_shared<Platform::SQLiteKeychainBackend>(directory / "keychain.sqlite"));
//   Common::KeychainManager isolated(local);

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/auth/Credential.h"
#include "Common/auth/DeviceSecret.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/log/Logger.h"

namespace Platform {
class Keychain;
}

namespace Common {

// The library's gateway to the keychain: the credential of each backend domain, a
// password per account and the list of device secrets, all synchronizable items in the
// access group the application and its extension share.
class QUILLO_EXPORT KeychainManager {
public:
    static KeychainManager& shared();
    // A manager on another keychain (tests). The keychain must outlive the manager.
    explicit KeychainManager(Platform::Keychain& keychain);

    // A slot for the host application; nothing here reads it.
    std::shared_ptr<const Credential> delegateCredential() const;
    void setDelegateCredential(std::shared_ptr<const Credential> credential);

    // Every miss is an error: KeychainError::keyNotFound when the keychain has no item,
    // KeychainError::credentialNotFound when the item holds no credential, and the
    // unarchiver's ArchiveError unchanged.
    std::shared_ptr<const Credential> credential(std::string_view domain) const;
    void setCredential(const Credential& credential, std::string_view domain);
    // Removes the credential item whatever its domain; nothing stored is no error.
    void removeCredential();

    std::string password(std::string_view account) const;
    void setPassword(std::string_view password, std::string_view account);
    void removePassword();

    void setDeviceSecrets(const std::vector<std::shared_ptr<DeviceSecret>>& secrets);

    // "<AppIdentifierPrefix>com.fernwaldsky.quillo.macos.keychain.shared", or empty when
    // the main bundle has no prefix.
    const std::string& accessGroup() const noexcept { return accessGroup_; }

private:
    // The data of the one item of `service` and `account`; throws keyNotFound on any status
    // but success.
    std::optional<Platform::Data> read(const char* failureMessage, const std::string& service,
                                       std::string_view account) const;
    void write(const char* failureMessage, const std::string& service, const std::string& account,
               Platform::Data valueData);
    void remove(const char* failureMessage, const std::string& service);

    Platform::Keychain& keychain_;
    std::string accessGroup_;
    Platform::Logger logger_;
    mutable std::mutex delegateMutex_;
    std::shared_ptr<const Credential> delegateCredential_;
};

}  // namespace Common

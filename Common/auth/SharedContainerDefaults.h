#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Common/auth/Credential.h"
#include "Common/auth/TarnUser.h"
#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/log/Logger.h"
#include "Platform/sqlite/StoreOptions.h"

namespace Platform {
class UserDefaults;
}

namespace Common {

// The shared settings could not be opened. The message is the one the host sees; the
// reason (the store's own error: held by another process, damaged, unreadable) is the
// failure reason.
class QUILLO_EXPORT SharedDefaultsError : public Platform::ErrorType<SharedDefaultsError> {
public:
    SharedDefaultsError() = default;
    explicit SharedDefaultsError(std::string reason) : reason_(std::move(reason)) {}

    std::optional<std::string> errorDescription() const override { return "Could not access shared user defaults"; }
    std::optional<std::string> failureReason() const override {
        return reason_.empty() ? std::nullopt : std::optional<std::string>(reason_);
    }

private:
    std::string reason_;
};

// Typed access to the settings the application and its extension share: the selected
// domain, the account, and copies of the credential and the signed-in user. Nothing is
// cached; every access reads or writes the shared store.
class QUILLO_EXPORT SharedContainerDefaults {
public:
    // The suite of the application group, with an empty set of registered defaults.
    // Throws SharedDefaultsError when it cannot be opened, after an error line with the
    // reason. `options` bound the wait for another process that holds the store.
    static SharedContainerDefaults sharedContainerDefaults(const Platform::StoreOptions& options = {});
    explicit SharedContainerDefaults(std::shared_ptr<Platform::UserDefaults> defaults);

    Platform::Logger logger() const;
    Platform::UserDefaults& defaults() const noexcept { return *defaults_; }

    // Unreadable archives read as absent, with one fault line. Credentials are archived
    // under the keychain's class name, and read under it or the type's default name.
    std::shared_ptr<const Credential> credential() const;
    // Absent removes the key; an archive that cannot be written removes it too.
    void setCredential(const std::shared_ptr<const Credential>& credential);

    std::shared_ptr<const TarnUser> currentUser() const;
    void setCurrentUser(const std::shared_ptr<const TarnUser>& user);
    // Reads the user, lets `change` replace it, writes it back.
    void modifyCurrentUser(const std::function<void(std::shared_ptr<const TarnUser>&)>& change);

    // The selected environment's host name; the production host when none is stored.
    std::string domain() const;
    void setDomain(std::string_view domain);

    std::optional<std::string> account() const;
    // Absent removes the key.
    void setAccount(const std::optional<std::string>& account);

private:
    template <class T>
    std::shared_ptr<const T> readArchive(const char* key, const char* faultFormat) const;
    template <class T>
    void writeArchive(const char* key, const char* faultFormat, const std::shared_ptr<const T>& value);

    std::shared_ptr<Platform::UserDefaults> defaults_;
};

}  // namespace Common

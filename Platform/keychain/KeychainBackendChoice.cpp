#include "Platform/keychain/KeychainBackendChoice.h"

#include <fcntl.h>
#include <unistd.h>

#include <exception>
#include <fstream>

#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/dbus/internal/SessionBus.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "Platform/keychain/internal/SecretServiceKeychainBackend.h"
#include "Platform/log/Logger.h"
#include "Platform/time/Date.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Platform {

using detail::SecretServiceKeychainBackend;
using detail::SQLiteKeychainBackend;

namespace {

constexpr const char* secretsBusName = "org.freedesktop.secrets";
// Left beside the file store once its items went to the Secret Service, so a process
// that cannot reach the service can say where they are.
constexpr const char* movedMarkerName = "moved-to-secret-service";

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "Keychain");
    return instance;
}

// The folder of the group's file store, without creating anything; none for a name
// that is not one plain folder name.
std::optional<std::filesystem::path> keychainFolder(const std::string& group) {
    if (group.empty() || group == "." || group == ".." || group.find('/') != std::string::npos) return std::nullopt;
    return ApplicationGroupContainer::rootDirectory() / group / "Keychains";
}

// Why the Secret Service cannot be used, or empty when it can.
std::string secretServiceUnavailability(const std::string& collection) {
    const auto connection = detail::openSessionBus();
    if (!connection.bus) return connection.failure;
    const auto state = detail::busNameState(connection.bus.get(), secretsBusName);
    if (!state) return "the session bus did not answer";
    if (*state == detail::BusNameState::absent) return "no Secret Service on the session bus";
    return SecretServiceKeychainBackend::collectionUnavailability(collection);
}

void writeMarker(const std::filesystem::path& folder, std::size_t moved) {
    const auto path = folder / movedMarkerName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    const auto text = std::to_string(moved) + " items moved on " + ISO8601DateFormatter().string(Date::now()) + "\n";
    [[maybe_unused]] const auto wrote = ::write(fd, text.data(), text.size());
    ::close(fd);
}

// Moves every item of the group's file store into `target`; an item the target already
// has takes the file's data, the newer of the two. Throws when the target fails, leaving
// the items not yet moved in the file.
void moveFileItems(const std::string& group, KeychainBackend& target) {
    const auto folder = keychainFolder(group);
    if (!folder || !std::filesystem::exists(*folder / "keychain.sqlite")) return;
    SQLiteKeychainBackend file(*folder / "keychain.sqlite");
    std::vector<KeychainItem> items;
    const auto found = file.copyMatching({.matchLimit = KeychainMatchLimit::all, .returnData = true}, items);
    if (found == errSecItemNotFound) return;
    if (found != errSecSuccess) throw std::runtime_error("cannot read " + (*folder / "keychain.sqlite").string());
    for (const auto& item : items) {
        const KeychainQuery identity{.service = item.service, .account = item.account, .accessGroup = item.accessGroup,
                                     .synchronizable = item.synchronizable};
        auto status = target.add(item);
        if (status == errSecDuplicateItem) {
            status = target.update(identity, {.accessible = item.accessible, .valueData = item.data});
        }
        if (status != errSecSuccess) throw std::runtime_error("the Secret Service answered " + std::to_string(status));
        if (file.remove(identity) != errSecSuccess) throw std::runtime_error("cannot remove a moved item from the file");
    }
    writeMarker(*folder, items.size());
    logger().notice("Moved %{public}d keychain items from %{public}s into the Secret Service",
                    static_cast<int>(items.size()), (*folder / "keychain.sqlite").string());
}

std::shared_ptr<KeychainBackend> fileBackend(const KeychainBackendOptions& options, const std::string& why) {
    const auto folder = keychainFolder(options.groupIdentifier);
    std::error_code ec;
    if (folder && !why.empty() && std::filesystem::exists(*folder / movedMarkerName, ec)) {
        std::ifstream marker(*folder / movedMarkerName);
        std::string moved;
        std::getline(marker, moved);
        logger().error("Keychain items are in the Secret Service (%{public}s), which this process cannot reach: "
                       "%{public}s; only items added without it are in %{public}s",
                       moved, why, (*folder / "keychain.sqlite").string());
    } else {
        logger().notice("Keychain items are kept in the file store of %{public}s%{public}s", options.groupIdentifier,
                        why.empty() ? std::string() : ": " + why);
    }
    return SQLiteKeychainBackend::forApplicationGroup(options.groupIdentifier);
}

}  // namespace

std::shared_ptr<KeychainBackend> makeKeychainBackend(const KeychainBackendOptions& options) {
    switch (options.kind) {
        case KeychainBackendKind::file: return fileBackend(options, {});
        case KeychainBackendKind::secretService:
            logger().notice("Keychain items are kept in the Secret Service (chosen by the host)");
            return std::make_shared<SecretServiceKeychainBackend>(options.collection);
        case KeychainBackendKind::automatic: break;
    }
    if (auto why = secretServiceUnavailability(options.collection); !why.empty()) return fileBackend(options, why);
    auto secretService = std::make_shared<SecretServiceKeychainBackend>(options.collection);
    try {
        moveFileItems(options.groupIdentifier, *secretService);
    } catch (const std::exception& error) {
        // The items not moved stay readable where they are.
        return fileBackend(options, std::string("moving the file store's items failed: ") + error.what());
    }
    logger().notice("Keychain items are kept in the Secret Service of the session bus");
    return secretService;
}

}  // namespace Platform

#include "Platform/keychain/Keychain.h"

#include <atomic>
#include <exception>

#include "Platform/log/Logger.h"

namespace Platform {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "Keychain");
    return instance;
}

// Enumerations arrive from callers that may have cast arbitrary numbers.
bool isKnown(KeychainItemClass itemClass) {
    return itemClass == KeychainItemClass::genericPassword;
}

bool isKnown(const std::optional<KeychainAccessible>& accessible) {
    return !accessible || fromRawValue<KeychainAccessible>(rawValue(*accessible)).has_value();
}

bool isValid(const KeychainQuery& query) {
    return isKnown(query.itemClass) && isKnown(query.accessible) &&
           (query.matchLimit == KeychainMatchLimit::one || query.matchLimit == KeychainMatchLimit::all);
}

}  // namespace

namespace {
std::atomic<KeychainBackendKind> sharedBackendKind{KeychainBackendKind::automatic};
}  // namespace

Keychain& Keychain::shared() {
    static Keychain keychain(
        makeKeychainBackend({.kind = sharedBackendKind.load(), .groupIdentifier = std::string(sharedAccessGroup)}),
        std::string(sharedAccessGroup));
    return keychain;
}

void Keychain::chooseSharedBackend(KeychainBackendKind kind) noexcept {
    sharedBackendKind.store(kind);
}

Keychain::Keychain(std::shared_ptr<KeychainBackend> backend, std::string defaultAccessGroup)
    : backend_(std::move(backend)), defaultAccessGroup_(std::move(defaultAccessGroup)) {}

template <class Operation>
OSStatus Keychain::perform(const char* name, Operation&& operation) noexcept {
    if (!backend_) return errSecIO;
    try {
        return operation(*backend_);
    } catch (const std::exception& error) {
        logger().error("%{public}s failed: %{public}s", name, error.what());
    } catch (...) {
        logger().error("%{public}s failed", name);
    }
    return errSecIO;
}

OSStatus Keychain::add(const KeychainAttributes& attributes) {
    if (!isKnown(attributes.accessible)) return errSecParam;
    return perform("add", [&](KeychainBackend& backend) {
        return backend.add(KeychainItem{
            .service = attributes.service.value_or(""),
            .account = attributes.account.value_or(""),
            .accessGroup = attributes.accessGroup.value_or(defaultAccessGroup_),
            .synchronizable = attributes.synchronizable.value_or(false),
            .accessible = attributes.accessible.value_or(KeychainAccessible::whenUnlocked),
            .data = attributes.valueData,
        });
    });
}

OSStatus Keychain::update(const KeychainQuery& query, const KeychainAttributes& changes) {
    if (!isValid(query) || changes.empty() || !isKnown(changes.accessible)) return errSecParam;
    return perform("update", [&](KeychainBackend& backend) { return backend.update(query, changes); });
}

OSStatus Keychain::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) {
    result.clear();
    if (!isValid(query)) return errSecParam;
    return perform("copyMatching", [&](KeychainBackend& backend) { return backend.copyMatching(query, result); });
}

OSStatus Keychain::remove(const KeychainQuery& query) {
    if (!isValid(query)) return errSecParam;
    return perform("remove", [&](KeychainBackend& backend) { return backend.remove(query); });
}

}  // namespace Platform

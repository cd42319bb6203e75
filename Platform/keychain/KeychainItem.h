#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"

namespace Platform {

enum class KeychainItemClass { genericPassword };

// When an item may be read. Recorded and matched; this store does not lock.
enum class KeychainAccessible {
    whenUnlocked,
    afterFirstUnlock,
    whenUnlockedThisDeviceOnly,
    afterFirstUnlockThisDeviceOnly,
    whenPasscodeSetThisDeviceOnly,
};

template <>
struct RawValues<KeychainAccessible> {
    static constexpr std::string_view typeName = "KeychainAccessible";
    static constexpr std::pair<KeychainAccessible, std::string_view> table[] = {
        {KeychainAccessible::whenUnlocked, "ak"},
        {KeychainAccessible::afterFirstUnlock, "ck"},
        {KeychainAccessible::whenUnlockedThisDeviceOnly, "aku"},
        {KeychainAccessible::afterFirstUnlockThisDeviceOnly, "cku"},
        {KeychainAccessible::whenPasscodeSetThisDeviceOnly, "akpu"},
    };
};

// A stored item. Class, service, account, access group and synchronizable
// together identify it: no two items share all five.
struct QUILLO_EXPORT KeychainItem {
    KeychainItemClass itemClass = KeychainItemClass::genericPassword;
    std::string service;
    std::string account;
    std::string accessGroup;
    bool synchronizable = false;
    KeychainAccessible accessible = KeychainAccessible::whenUnlocked;
    // The secret; filled by copyMatching only when the query asks for data.
    std::optional<Data> data;

    bool operator==(const KeychainItem&) const = default;
};

}  // namespace Platform

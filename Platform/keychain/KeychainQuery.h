#pragma once

#include <optional>
#include <string>

#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainItem.h"

namespace Platform {

enum class KeychainMatchLimit { one, all };

// Selects items. An attribute left out matches every value, so a query naming only
// service and access group matches all accounts and both synchronizable states.
struct QUILLO_EXPORT KeychainQuery {
    KeychainItemClass itemClass = KeychainItemClass::genericPassword;
    std::optional<std::string> service;
    std::optional<std::string> account;
    std::optional<std::string> accessGroup;
    std::optional<bool> synchronizable;
    std::optional<KeychainAccessible> accessible;
    // copyMatching only: the first match (oldest first) or all of them.
    KeychainMatchLimit matchLimit = KeychainMatchLimit::one;
    // copyMatching only: fill KeychainItem::data. Attributes are always filled;
    // returnAttributes is accepted for callers that state it.
    bool returnData = false;
    bool returnAttributes = false;
};

}  // namespace Platform

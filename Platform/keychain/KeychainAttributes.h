#pragma once

#include <optional>
#include <string>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainItem.h"

namespace Platform {

// A new item for add, or the changes for update. For add, a missing service or
// account is "", a missing access group the keychain's default one, a missing
// synchronizable false and a missing accessible whenUnlocked. For update, only
// the attributes given change.
struct QUILLO_EXPORT KeychainAttributes {
    std::optional<std::string> service;
    std::optional<std::string> account;
    std::optional<std::string> accessGroup;
    std::optional<bool> synchronizable;
    std::optional<KeychainAccessible> accessible;
    std::optional<Data> valueData;

    bool empty() const noexcept {
        return !service && !account && !accessGroup && !synchronizable && !accessible && !valueData;
    }
};

}  // namespace Platform

#pragma once

#include <vector>

#include "Platform/core/Export.h"
#include "Platform/keychain/KeychainAttributes.h"
#include "Platform/keychain/KeychainItem.h"
#include "Platform/keychain/KeychainQuery.h"
#include "Platform/keychain/KeychainStatus.h"

namespace Platform {

// Where a Keychain keeps its items. Keychain has validated every argument and
// filled the defaults of a new item before calling. Implementations are safe
// from any thread and may throw; Keychain turns exceptions into errSecIO.
class QUILLO_EXPORT KeychainBackend {
public:
    virtual ~KeychainBackend() = default;

    // errSecSuccess, or errSecDuplicateItem when an item with the same identity exists.
    virtual OSStatus add(const KeychainItem& item) = 0;
    // Changes every match at once, or none: errSecItemNotFound when nothing matches,
    // errSecDuplicateItem when a changed item would collide with another.
    virtual OSStatus update(const KeychainQuery& query, const KeychainAttributes& changes) = 0;
    // Replaces `result` with the matches, honouring matchLimit and returnData;
    // errSecItemNotFound (and an empty result) when there are none.
    virtual OSStatus copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) = 0;
    // Deletes every match, whatever matchLimit says; errSecItemNotFound when none.
    virtual OSStatus remove(const KeychainQuery& query) = 0;
};

}  // namespace Platform

#pragma once

#include <memory>

#include "Common/auth/Credential.h"
#include "Platform/core/Export.h"

namespace Common {

// Where a connection reads the credential it sends: OAuthManager::shared() unless the
// connection was given another (a second account side by side, a test). Both reads
// may come from any thread at any time and must not wait for a refresh.
class QUILLO_EXPORT CredentialSource {
public:
    virtual ~CredentialSource() = default;

    // No credential, or its expiration is not later than now.
    virtual bool isExpired() const = 0;
    virtual std::shared_ptr<const Credential> credential() const = 0;
};

}  // namespace Common

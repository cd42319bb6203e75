#include "Common/auth/Credential.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

Credential Credential::decode(const Platform::KeyedDecoder& c) {
    Credential credential;
    credential.accessToken_ = c.decode<std::string>("accessToken");
    credential.tokenType_ = c.decode<std::string>("tokenType");
    credential.refreshToken_ = c.decode<std::string>("refreshToken");
    const auto expiresIn = c.decodeIfPresent<std::int64_t>("expiresIn");
    credential.expiration_ = expiresIn ? Platform::Date::now().addingTimeInterval(static_cast<double>(*expiresIn))
                                       : Platform::Date::distantFuture();
    credential.login_ = c.decode<std::string>("login");
    // The key must be there; its value may be null.
    credential.email_ = c.decode<std::optional<std::string>>("email");
    return credential;
}

}  // namespace Common

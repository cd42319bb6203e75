#include "Common/auth/Credential.h"

#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

Credential Credential::decode(const Platform::KeyedDecoder& c) {
    Credential credential;
    credential.accessToken_ = c.decode<std::string>("accessToken");
    credential.tokenType_ = c.decode<std::string>("tokenType");
    credential.refreshToken_ = c.decode<std::string>("refreshToken");
    const auto expiresIn = c.decodeIfPresent<std::int64_t>("expiresIn");
    credential.expiration_ = expiresIn ? Platform::Clock::now().addingTimeInterval(static_cast<double>(*expiresIn))
                                       : Platform::Date::distantFuture();
    credential.login_ = c.decode<std::string>("login");
    // The key must be there; its value may be null.
    credential.email_ = c.decode<std::optional<std::string>>("email");
    return credential;
}

}  // namespace Common

namespace Common {

void Credential::encode(Platform::KeyedArchiver& coder) const {
    coder.encode("accessToken", accessToken_);
    coder.encode("tokenType", tokenType_);
    coder.encode("refreshToken", refreshToken_);
    coder.encode("expiration", expiration_);
    coder.encode("login", login_);
    coder.encode("email", email_);
}

std::shared_ptr<Credential> Credential::decode(Platform::KeyedUnarchiver& coder) {
    auto accessToken = coder.decodeString("accessToken");
    auto tokenType = coder.decodeString("tokenType");
    auto refreshToken = coder.decodeString("refreshToken");
    const auto expiration = coder.decodeDate("expiration");
    auto login = coder.decodeString("login");
    // Without any of the five, there is no credential.
    if (!accessToken || !tokenType || !refreshToken || !expiration || !login) return nullptr;
    auto credential = std::shared_ptr<Credential>(new Credential);
    credential->accessToken_ = std::move(*accessToken);
    credential->tokenType_ = std::move(*tokenType);
    credential->refreshToken_ = std::move(*refreshToken);
    credential->expiration_ = *expiration;
    credential->login_ = std::move(*login);
    credential->email_ = coder.decodeString("email");
    return credential;
}

}  // namespace Common

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/core/Export.h"
#include "Platform/time/Date.h"
#include "Platform/time/Clock.h"

namespace Platform {
class KeyedDecoder;
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace Platform

namespace Common {

// The OAuth bearer credential of a signed-in user. Immutable; made only by decoding the
// token endpoint's answer or by unarchiving a stored copy, and shared as
// std::shared_ptr<const Credential>.
class QUILLO_EXPORT Credential {
public:
    const std::string& accessToken() const noexcept { return accessToken_; }
    const std::string& tokenType() const noexcept { return tokenType_; }
    const std::string& refreshToken() const noexcept { return refreshToken_; }
    // Fixed when the answer was decoded: now + expires_in, or the distant future.
    Platform::Date expiration() const noexcept { return expiration_; }
    const std::string& login() const noexcept { return login_; }
    const std::optional<std::string>& email() const noexcept { return email_; }

    // "Bearer " + access token, whatever the token type says.
    std::string bearerToken() const { return "Bearer " + accessToken_; }
    // Strictly past the expiration.
    bool isExpired() const { return expiration_ < Platform::Clock::now(); }

    // The token endpoint's answer (snake_case keys).
    static Credential decode(const Platform::KeyedDecoder& container);

    static constexpr const char* defaultArchiveClassName = "Common.Credential";
    static constexpr bool supportsSecureCoding = true;
    void encode(Platform::KeyedArchiver& coder) const;
    static std::shared_ptr<Credential> decode(Platform::KeyedUnarchiver& coder);

    bool operator==(const Credential&) const = default;

private:
    Credential() = default;

    std::string accessToken_;
    std::string tokenType_;
    std::string refreshToken_;
    Platform::Date expiration_;
    std::string login_;
    std::optional<std::string> email_;
};

}  // namespace Common

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Common/auth/CredentialSource.h"
#include "Platform/json/JSONDecoder.h"

namespace TestSupport {

// A credential as the token endpoint answers: it expires `expiresIn` seconds after it is
// decoded, or never without one.
inline std::shared_ptr<const Common::Credential> credential(const std::string& accessToken,
                                                            std::optional<long> expiresIn = std::nullopt,
                                                            const std::string& refreshToken = "r") {
    std::string json = R"({"access_token":")" + accessToken + R"(","token_type":"bearer","refresh_token":")" + refreshToken + '"';
    if (expiresIn) json += R"(,"expires_in":)" + std::to_string(*expiresIn);
    return Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
        json + R"(,"login":"user","email":null})");
}

// A connection's own credential, independent of OAuthManager::shared().
struct FixedCredentialSource : Common::CredentialSource {
    explicit FixedCredentialSource(std::shared_ptr<const Common::Credential> credential) : credential_(std::move(credential)) {}
    bool isExpired() const override { return !credential_ || credential_->isExpired(); }
    std::shared_ptr<const Common::Credential> credential() const override { return credential_; }
    std::shared_ptr<const Common::Credential> credential_;

    static std::shared_ptr<FixedCredentialSource> withToken(const std::string& token) {
        return std::make_shared<FixedCredentialSource>(TestSupport::credential(token));
    }
};

}  // namespace TestSupport

#pragma once

#include <memory>
#include <string>

#include "Common/auth/CredentialSource.h"
#include "Platform/json/JSONDecoder.h"

namespace TestSupport {

// A connection's own credential, independent of OAuthManager::shared().
struct FixedCredentialSource : Common::CredentialSource {
    explicit FixedCredentialSource(std::shared_ptr<const Common::Credential> credential) : credential_(std::move(credential)) {}
    bool isExpired() const override { return !credential_ || credential_->isExpired(); }
    std::shared_ptr<const Common::Credential> credential() const override { return credential_; }
    std::shared_ptr<const Common::Credential> credential_;

    static std::shared_ptr<FixedCredentialSource> withToken(const std::string& token) {
        return std::make_shared<FixedCredentialSource>(
            Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
                R"({"access_token":")" + token + R"(","token_type":"bearer","refresh_token":"r","login":"u","email":null})"));
    }
};

}  // namespace TestSupport

#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Failures that belong to no one server: sign-in state, account and device checks.
class QUILLO_EXPORT UncategorizedError : public Platform::ErrorType<UncategorizedError> {
public:
    enum class Case {
        backendUnknown,
        deviceRejected,
        domainNotFound,
        oauthTokenExpired,
        unauthenticated,
        userInvalidRole,
        userUnavailable,
        enterpriseUnavailable,
        storageTypeUnsupported,
        preAuthenticationParameterEmpty,
    };

    static UncategorizedError backendUnknown() { return UncategorizedError(Case::backendUnknown); }
    static UncategorizedError deviceRejected() { return UncategorizedError(Case::deviceRejected); }
    static UncategorizedError domainNotFound() { return UncategorizedError(Case::domainNotFound); }
    static UncategorizedError oauthTokenExpired() { return UncategorizedError(Case::oauthTokenExpired); }
    static UncategorizedError unauthenticated() { return UncategorizedError(Case::unauthenticated); }
    static UncategorizedError userInvalidRole() { return UncategorizedError(Case::userInvalidRole); }
    static UncategorizedError userUnavailable() { return UncategorizedError(Case::userUnavailable); }
    static UncategorizedError enterpriseUnavailable() { return UncategorizedError(Case::enterpriseUnavailable); }
    static UncategorizedError storageTypeUnsupported() { return UncategorizedError(Case::storageTypeUnsupported); }
    static UncategorizedError preAuthenticationParameterEmpty() {
        return UncategorizedError(Case::preAuthenticationParameterEmpty);
    }

    Case kind() const noexcept { return kind_; }

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> recoverySuggestion() const override;

    friend bool operator==(const UncategorizedError& a, const UncategorizedError& b) { return a.kind_ == b.kind_; }

private:
    explicit UncategorizedError(Case kind) : kind_(kind) {}

    Case kind_;
};

}  // namespace Common

template <>
struct std::hash<Common::UncategorizedError> {
    std::size_t operator()(const Common::UncategorizedError& error) const noexcept {
        return std::hash<Common::UncategorizedError::Case>{}(error.kind());
    }
};

#pragma once

#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

class RailsError;

// The token endpoint's standard error answer: {"error": "...", "error_description": "..."}.
// A reading of a RailsError's body beside its reason, which knows only the service's own
// words; this one keeps the standard codes such as "invalid_grant" as they are.
struct QUILLO_EXPORT OAuthErrorBody {
    std::string error;
    std::optional<std::string> errorDescription;

    // The refresh or password grant was refused: the refresh token is spent or revoked,
    // or the password is wrong.
    [[nodiscard]] bool isInvalidGrant() const noexcept { return error == "invalid_grant"; }

    // The body of an HTTP failure, when it is an OAuth error body; absent otherwise.
    [[nodiscard]] static std::optional<OAuthErrorBody> from(const RailsError& error);
    // The same for any error: absent unless it is a RailsError carrying such a body.
    [[nodiscard]] static std::optional<OAuthErrorBody> from(const Platform::Error& error);
};

}  // namespace Common

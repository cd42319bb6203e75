#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Common/auth/Credential.h"
#include "Common/connection/APIParameter.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// The token endpoint: the only call sent without a bearer token. Its body is form-encoded.
struct QUILLO_EXPORT CredentialParameter : APIEndpoint<CredentialParameter, std::shared_ptr<const Credential>> {
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/oauth/token";

    struct Secret {
        std::string username;
        std::string password;
    };

    CredentialParameter() : APIEndpoint(/*isAuthRequired*/ false, /*isJSONRequest*/ false) {}

    // Always empty; the endpoint takes no identifier.
    std::string id;

    // The sign-in body (password grant). Every value is percent-encoded (the query set
    // without "+", "&" and "="), so a password holding "&", "+", "=" or "%" arrives as
    // typed. Callers pass raw values.
    // Throws CommonError::failedToCreateAuthentication when a value is not valid UTF-8.
    static Platform::Data dataForCreate(std::string_view clientID, std::string_view clientSecret, const Secret& secret,
                                        const std::optional<std::string>& enterpriseAccount,
                                        const std::optional<std::string>& onetimeToken);
    // The refresh body (refresh-token grant), encoded the same way.
    static Platform::Data dataForRefresh(std::string_view refreshToken);
};

}  // namespace Common::WebService

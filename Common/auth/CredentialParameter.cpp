#include "Common/auth/CredentialParameter.h"

#include <utility>
#include <vector>

#include "Common/connection/CommonError.h"
#include "Platform/url/PercentEncoding.h"

namespace Common::WebService {

namespace {

Platform::Data formBody(const std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
    Platform::Data body;
    for (const auto& [name, value] : pairs) {
        const auto encoded = Platform::addingPercentEncoding(value);
        if (!encoded) throw CommonError::failedToCreateAuthentication();
        if (!body.empty()) body += '&';
        body.append(name);
        body += '=';
        body += *encoded;
    }
    return body;
}

}  // namespace

Platform::Data CredentialParameter::dataForCreate(std::string_view clientID, std::string_view clientSecret,
                                                  const Secret& secret,
                                                  const std::optional<std::string>& enterpriseAccount,
                                                  const std::optional<std::string>& onetimeToken) {
    std::vector<std::pair<std::string_view, std::string_view>> pairs{
        {"client_id", clientID},
        {"client_secret", clientSecret},
        {"grant_type", "password"},
        {"scope", ""},
        {"username", secret.username},
        {"password", secret.password},
        {"enterprise_account", enterpriseAccount ? std::string_view(*enterpriseAccount) : std::string_view()},
    };
    if (onetimeToken) pairs.emplace_back("onetime_token", *onetimeToken);
    return formBody(pairs);
}

Platform::Data CredentialParameter::dataForRefresh(std::string_view refreshToken) {
    return formBody({{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}});
}

}  // namespace Common::WebService

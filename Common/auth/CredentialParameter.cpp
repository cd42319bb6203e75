#include "Common/auth/CredentialParameter.h"

#include <utility>
#include <vector>

#include "Common/connection/CommonError.h"
#include "Platform/url/PercentEncoding.h"

namespace Common::WebService {

namespace {

// The query encoding, plus "=": form parsers split a pair at its "=" signs, and some
// keep only the last piece, so a value must not carry one in clear.
std::string formValue(std::string_view value) {
    const auto encoded = Platform::addingPercentEncoding(value);
    if (!encoded) throw CommonError::failedToCreateAuthentication();
    std::string out;
    out.reserve(encoded->size());
    for (char c : *encoded) {
        if (c == '=') {
            out += "%3D";
        } else {
            out += c;
        }
    }
    return out;
}

Platform::Data formBody(const std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
    Platform::Data body;
    for (const auto& [name, value] : pairs) {
        if (!body.empty()) body += '&';
        body.append(name);
        body += '=';
        body += formValue(value);
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

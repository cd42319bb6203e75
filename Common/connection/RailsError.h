#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Common/connection/HTTPServerError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/WebServiceError.h"
#include "Platform/core/Data.h"
#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"

namespace Common {

// Why the web service refused a sign-in or a device, as named in its error bodies.
// Spelled RailsError::Reason where it is used.
enum class RailsErrorReason {
    invalidResourceOwner,
    invalidOnetimeToken,
    requireOnetimeTokenByHOTP,
    requireOnetimeTokenByTOTP,
    requireSetOnetimePassword,
    requiresTeamAccount,
    wrongDigest,
    wrongUUID,
    notRegistered,
    noDigest,
    noUUID,
    notPermitted,
};

// Reasons that mean this device is not allowed in, as opposed to bad credentials.
constexpr bool isDeviceRestriction(RailsErrorReason reason) noexcept {
    switch (reason) {
        case RailsErrorReason::wrongDigest:
        case RailsErrorReason::wrongUUID:
        case RailsErrorReason::notRegistered:
        case RailsErrorReason::noDigest:
        case RailsErrorReason::noUUID:
        case RailsErrorReason::notPermitted: return true;
        default: return false;
    }
}

}  // namespace Common

template <>
struct Platform::RawValues<Common::RailsErrorReason> {
    using R = Common::RailsErrorReason;
    static constexpr std::string_view typeName = "Reason";
    static constexpr std::pair<R, std::string_view> table[] = {
        {R::invalidResourceOwner, "invalid_resource_owner"},
        {R::invalidOnetimeToken, "invalid_onetime_token"},
        {R::requireOnetimeTokenByHOTP, "require_hotp_onetime_token"},
        {R::requireOnetimeTokenByTOTP, "require_totp_onetime_token"},
        {R::requireSetOnetimePassword, "require_set_onetime_password"},
        {R::requiresTeamAccount, "cannot_login_with_overlapped_email"},
        {R::wrongDigest, "device_exists_but_digest_wrong"},
        {R::wrongUUID, "device_exists_but_uuid_wrong"},
        {R::notRegistered, "no_device_has_been_registered"},
        {R::noDigest, "request_header_has_no_digest"},
        {R::noUUID, "request_header_has_no_uuid"},
        {R::notPermitted, "this_device_does_not_be_permitted_by_admin"},
    };
};

namespace Common {

// Failures of requests to the web service.
class QUILLO_EXPORT RailsError : public Platform::ErrorType<RailsError>, public HTTPServerError {
public:
    using Reason = RailsErrorReason;

    enum class Case { httpError, httpUnexpectedBody, cannotGetDownloadURL, unexpected };

    static RailsError httpError(HTTPStatusCode statusCode, std::optional<Platform::Data> responseData = std::nullopt) {
        return {Case::httpError, statusCode, std::move(responseData)};
    }
    static RailsError httpUnexpectedBody() { return {Case::httpUnexpectedBody}; }
    static RailsError cannotGetDownloadURL() { return {Case::cannotGetDownloadURL}; }
    static RailsError unexpected() { return {Case::unexpected}; }
    // A 401 whose body is `message`.
    static RailsError unauthorized(std::string_view message) {
        return httpError(HTTPStatusCode::unauthorized, Platform::Data(message));
    }

    Case kind() const noexcept { return kind_; }

    std::optional<HTTPStatusCode> statusCode() const override { return statusCode_; }
    std::optional<Platform::Data> responseData() const override { return responseData_; }

    // The reason named by the body's "error" member, else by its "code" member.
    std::optional<Reason> reason() const;
    // The body as the service's structured error; absent when it is not one.
    std::optional<WebServiceError> body() const;

    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const RailsError& a, const RailsError& b) {
        return a.kind_ == b.kind_ && a.statusCode_ == b.statusCode_ && a.responseData_ == b.responseData_;
    }

private:
    RailsError(Case kind, std::optional<HTTPStatusCode> statusCode = std::nullopt,
               std::optional<Platform::Data> responseData = std::nullopt)
        : kind_(kind), statusCode_(statusCode), responseData_(std::move(responseData)) {}

    Case kind_;
    std::optional<HTTPStatusCode> statusCode_;
    std::optional<Platform::Data> responseData_;
};

}  // namespace Common

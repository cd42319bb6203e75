#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIMethod.h"
#include "Platform/core/Export.h"
#include "Platform/url/URLQueryItem.h"

namespace Common {

// The description of one call of the service's REST interface. Concrete endpoint types
// live in Common::WebService, derive from APIEndpoint below and name the record their
// answer decodes into as `ReturnType`.
class QUILLO_EXPORT APIParameter {
public:
    virtual ~APIParameter() = default;

    virtual APIMethod method() const = 0;
    // The path, placeholders already filled in.
    virtual std::string endpoint() const = 0;
    // Names and values already percent-encoded.
    const std::vector<Platform::URLQueryItem>& queryItems() const noexcept { return queryItems_; }
    // The request carries "Authorization: Bearer <access token>".
    bool isAuthRequired() const noexcept { return isAuthRequired_; }
    // The request carries "Content-Type: application/json; charset=UTF-8".
    bool isJSONRequest() const noexcept { return isJSONRequest_; }

    // "GET /folders/12/ls?offset=0&limit=100", for log lines only.
    std::string httpRequestLine() const;

    // False when an identifier the path is built from could lead the call to another
    // endpoint (see isAcceptablePathIdentifier); such a call is refused before sending.
    [[nodiscard]] virtual bool hasAcceptableIdentifier() const { return true; }

protected:
    APIParameter(bool isAuthRequired, bool isJSONRequest, std::vector<Platform::URLQueryItem> queryItems = {})
        : queryItems_(std::move(queryItems)), isAuthRequired_(isAuthRequired), isJSONRequest_(isJSONRequest) {}
    APIParameter(const APIParameter&) = default;
    APIParameter& operator=(const APIParameter&) = default;

private:
    std::vector<Platform::URLQueryItem> queryItems_;
    bool isAuthRequired_;
    bool isJSONRequest_;
};

// Replaces every ":id" of a path template with the identifier, literally (no encoding,
// and an identifier that itself holds ":id" is not expanded again).
QUILLO_EXPORT std::string fillingIdentifier(std::string_view endpointTemplate, std::string_view identifier);

// Whether an identifier may stand as one segment of a path. Refused: empty, "." and
// "..", and anything holding a slash or a backslash, also when escaped ("%2e%2e", "%2F", "%5C"),
// since servers decode escapes before they resolve dot segments.
[[nodiscard]] QUILLO_EXPORT bool isAcceptablePathIdentifier(std::string_view identifier);

// Base of the concrete endpoint types:
//   struct AuthenticatedUserParameter : APIEndpoint<AuthenticatedUserParameter, TarnUser> {
//       static constexpr APIMethod staticMethod = APIMethod::GET;
//       static constexpr std::string_view endpointTemplate = "/users/me";
//       AuthenticatedUserParameter() : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false) {}
//   };
// A template with ":id" is filled from `identifier()`, which such types provide; any
// type with `identifier()` has it checked by hasAcceptableIdentifier(), also one that
// builds its path by itself.
template <class Derived, class Return>
class APIEndpoint : public APIParameter {
public:
    using ReturnType = Return;

    APIMethod method() const override { return Derived::staticMethod; }
    std::string endpoint() const override {
        if constexpr (requires(const Derived& d) { d.identifier(); }) {
            return fillingIdentifier(Derived::endpointTemplate, static_cast<const Derived&>(*this).identifier());
        } else {
            return std::string(Derived::endpointTemplate);
        }
    }
    bool hasAcceptableIdentifier() const override {
        if constexpr (requires(const Derived& d) { d.identifier(); }) {
            return isAcceptablePathIdentifier(static_cast<const Derived&>(*this).identifier());
        } else {
            return true;
        }
    }

protected:
    using APIParameter::APIParameter;
};

// What the call pipeline accepts.
template <class P>
concept APIParameterType = std::derived_from<P, APIParameter> && requires { typename P::ReturnType; };

}  // namespace Common

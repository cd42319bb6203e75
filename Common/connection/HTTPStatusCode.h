#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"

namespace Common {

// Status codes the servers are known to answer with; the raw value is the code itself.
enum class HTTPStatusCode : int {
    // `continue` is a keyword, hence the trailing underscore.
    continue_ = 100,
    switchingProtocols = 101,
    processing = 102,
    ok = 200,
    created = 201,
    accepted = 202,
    nonAuthoritativeInformation = 203,
    noContent = 204,
    resetContent = 205,
    partialContent = 206,
    multiStatus = 207,
    alreadyReported = 208,
    IMUsed = 226,
    multipleChoices = 300,
    movedPermanently = 301,
    found = 302,
    seeOther = 303,
    notModified = 304,
    useProxy = 305,
    switchProxy = 306,
    temporaryRedirect = 307,
    // Misspelled long ago; callers depend on the name.
    permenantRedirect = 308,
    badRequest = 400,
    unauthorized = 401,
    paymentRequired = 402,
    forbidden = 403,
    notFound = 404,
    methodNotAllowed = 405,
    notAcceptable = 406,
    proxyAuthenticationRequired = 407,
    requestTimeout = 408,
    conflict = 409,
    gone = 410,
    lengthRequired = 411,
    preconditionFailed = 412,
    payloadTooLarge = 413,
    URITooLong = 414,
    unsupportedMediaType = 415,
    rangeNotSatisfiable = 416,
    expectationFailed = 417,
    teapot = 418,
    misdirectedRequest = 421,
    unprocessableEntity = 422,
    locked = 423,
    failedDependency = 424,
    upgradeRequired = 426,
    preconditionRequired = 428,
    tooManyRequests = 429,
    requestHeaderFieldsTooLarge = 431,
    noResponse = 444,
    unavailableForLegalReasons = 451,
    SSLCertificateError = 495,
    SSLCertificateRequired = 496,
    HTTPRequestSentToHTTPSPort = 497,
    clientClosedRequest = 499,
    internalServerError = 500,
    notImplemented = 501,
    badGateway = 502,
    serviceUnavailable = 503,
    gatewayTimeout = 504,
    HTTPVersionNotSupported = 505,
    variantAlsoNegotiates = 506,
    insufficientStorage = 507,
    loopDetected = 508,
    notExtended = 510,
    networkAuthenticationRequired = 511,
};

// The class of a status code. Belongs to HTTPStatusCode, but an enum cannot have
// nested types, so it lives beside it under the joined name.
enum class HTTPStatusCodeResponseType { informational, success, redirection, clientError, serverError, undefined };

// By the hundreds digit; `undefined` only for values outside 100...599.
QUILLO_EXPORT HTTPStatusCodeResponseType responseType(HTTPStatusCode code) noexcept;

// The status of an HTTP response as a known code; no value for codes not listed above.
[[nodiscard]] QUILLO_EXPORT std::optional<HTTPStatusCode> statusOf(long httpStatus) noexcept;

}  // namespace Common

template <>
struct Platform::RawValues<Common::HTTPStatusCode> {
    using C = Common::HTTPStatusCode;
    static constexpr std::string_view typeName = "HTTPStatusCode";
    static constexpr std::pair<C, int> table[] = {
        {C::continue_, 100},
        {C::switchingProtocols, 101},
        {C::processing, 102},
        {C::ok, 200},
        {C::created, 201},
        {C::accepted, 202},
        {C::nonAuthoritativeInformation, 203},
        {C::noContent, 204},
        {C::resetContent, 205},
        {C::partialContent, 206},
        {C::multiStatus, 207},
        {C::alreadyReported, 208},
        {C::IMUsed, 226},
        {C::multipleChoices, 300},
        {C::movedPermanently, 301},
        {C::found, 302},
        {C::seeOther, 303},
        {C::notModified, 304},
        {C::useProxy, 305},
        {C::switchProxy, 306},
        {C::temporaryRedirect, 307},
        {C::permenantRedirect, 308},
        {C::badRequest, 400},
        {C::unauthorized, 401},
        {C::paymentRequired, 402},
        {C::forbidden, 403},
        {C::notFound, 404},
        {C::methodNotAllowed, 405},
        {C::notAcceptable, 406},
        {C::proxyAuthenticationRequired, 407},
        {C::requestTimeout, 408},
        {C::conflict, 409},
        {C::gone, 410},
        {C::lengthRequired, 411},
        {C::preconditionFailed, 412},
        {C::payloadTooLarge, 413},
        {C::URITooLong, 414},
        {C::unsupportedMediaType, 415},
        {C::rangeNotSatisfiable, 416},
        {C::expectationFailed, 417},
        {C::teapot, 418},
        {C::misdirectedRequest, 421},
        {C::unprocessableEntity, 422},
        {C::locked, 423},
        {C::failedDependency, 424},
        {C::upgradeRequired, 426},
        {C::preconditionRequired, 428},
        {C::tooManyRequests, 429},
        {C::requestHeaderFieldsTooLarge, 431},
        {C::noResponse, 444},
        {C::unavailableForLegalReasons, 451},
        {C::SSLCertificateError, 495},
        {C::SSLCertificateRequired, 496},
        {C::HTTPRequestSentToHTTPSPort, 497},
        {C::clientClosedRequest, 499},
        {C::internalServerError, 500},
        {C::notImplemented, 501},
        {C::badGateway, 502},
        {C::serviceUnavailable, 503},
        {C::gatewayTimeout, 504},
        {C::HTTPVersionNotSupported, 505},
        {C::variantAlsoNegotiates, 506},
        {C::insufficientStorage, 507},
        {C::loopDetected, 508},
        {C::notExtended, 510},
        {C::networkAuthenticationRequired, 511},
    };
};

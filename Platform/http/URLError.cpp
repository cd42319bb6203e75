#include "Platform/http/URLError.h"

namespace Platform {

namespace {

const char* sentence(URLError::Code code) noexcept {
    using Code = URLError::Code;
    switch (code) {
        case Code::cancelled: return "The request was cancelled.";
        case Code::badURL: return "The URL is not valid.";
        case Code::unsupportedURL: return "The URL's scheme is not supported.";
        case Code::invalidRequest: return "The request cannot be sent as it is.";
        case Code::timedOut: return "The request timed out.";
        case Code::cannotFindHost: return "A server with the specified hostname could not be found.";
        case Code::cannotConnectToHost: return "Could not connect to the server.";
        case Code::networkConnectionLost: return "The network connection was lost.";
        case Code::notConnectedToInternet: return "The Internet connection appears to be offline.";
        case Code::secureConnectionFailed: return "A TLS error occurred and a secure connection to the server cannot be made.";
        case Code::serverCertificateUntrusted: return "The certificate for this server is invalid.";
        case Code::badServerResponse: return "The server returned a response that is not HTTP.";
        case Code::tooManyRedirects: return "There were too many redirects.";
        case Code::cannotDecodeContentData: return "The response's content could not be decoded.";
        case Code::dataLengthExceedsMaximum: return "The response's data exceeds the maximum length allowed.";
        case Code::unknown: break;
    }
    return "An unknown error occurred.";
}

}  // namespace

const char* URLError::name(Code code) noexcept {
    switch (code) {
        case Code::cancelled: return "cancelled";
        case Code::badURL: return "badURL";
        case Code::unsupportedURL: return "unsupportedURL";
        case Code::invalidRequest: return "invalidRequest";
        case Code::timedOut: return "timedOut";
        case Code::cannotFindHost: return "cannotFindHost";
        case Code::cannotConnectToHost: return "cannotConnectToHost";
        case Code::networkConnectionLost: return "networkConnectionLost";
        case Code::notConnectedToInternet: return "notConnectedToInternet";
        case Code::secureConnectionFailed: return "secureConnectionFailed";
        case Code::serverCertificateUntrusted: return "serverCertificateUntrusted";
        case Code::badServerResponse: return "badServerResponse";
        case Code::tooManyRedirects: return "tooManyRedirects";
        case Code::cannotDecodeContentData: return "cannotDecodeContentData";
        case Code::dataLengthExceedsMaximum: return "dataLengthExceedsMaximum";
        case Code::unknown: break;
    }
    return "unknown";
}

std::optional<std::string> URLError::errorDescription() const {
    std::string text = sentence(code_);
    if (!detail_.empty()) text += " (" + detail_ + ")";
    return text;
}

std::optional<std::string> URLError::failureReason() const {
    if (!failingURL_) return std::nullopt;
    return "Failing URL: " + failingURL_->absoluteString();
}

}  // namespace Platform

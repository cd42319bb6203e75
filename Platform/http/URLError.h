#pragma once

#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"
#include "Platform/url/URL.h"

namespace Platform {

// Why a URL session task failed: no HTTP response arrived, or the request could not
// be sent. An HTTP status of any value is a response, never a URLError.
class QUILLO_EXPORT URLError : public ErrorType<URLError> {
public:
    enum class Code {
        cancelled,                   // the task or its session was cancelled
        badURL,                      // the URL is malformed
        unsupportedURL,              // not http or https
        invalidRequest,              // a header or method that cannot be sent as it is
        timedOut,                    // no byte moved for the request's timeout, or the whole transfer ran too long
        cannotFindHost,              // the host name did not resolve
        cannotConnectToHost,         // the host refused or did not answer the connection
        networkConnectionLost,       // the connection broke while the request was under way
        notConnectedToInternet,      // the machine has no usable network
        secureConnectionFailed,      // TLS could not be set up
        serverCertificateUntrusted,  // the server's certificate did not verify
        badServerResponse,           // what came back is not HTTP
        tooManyRedirects,            // redirects went on past the limit
        cannotDecodeContentData,     // the body's content encoding could not be undone
        dataLengthExceedsMaximum,    // the body is longer than the session lets a task hold
        unknown,
    };

    // `transportCode` is libcurl's result code (0 when the failure is the session's own);
    // `detail` is libcurl's text for it, or the session's own explanation.
    URLError(Code code, std::optional<URL> failingURL = std::nullopt, int transportCode = 0,
             std::string detail = {})
        : code_(code), failingURL_(std::move(failingURL)), transportCode_(transportCode), detail_(std::move(detail)) {}

    Code code() const noexcept { return code_; }
    const std::optional<URL>& failingURL() const noexcept { return failingURL_; }
    int transportCode() const noexcept { return transportCode_; }
    const std::string& detail() const noexcept { return detail_; }

    // The code's name, e.g. "timedOut", for log lines.
    static const char* name(Code code) noexcept;

    // E.g. "The request timed out. (Operation timed out after 1000 milliseconds with 0 bytes received)"
    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override;

private:
    Code code_;
    std::optional<URL> failingURL_;
    int transportCode_;
    std::string detail_;
};

}  // namespace Platform

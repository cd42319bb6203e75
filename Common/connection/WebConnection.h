#pragma once

// Usage:
//
//   const Common::QuilloBackend backend(Common::QuilloBackend::Domain::production);
//   const Common::WebConnection connection(*backend.baseURL());
//   // Callback form: the completion runs on the concurrent pool with the value or a typed error.
//   connection.makeAPICall(Common::WebService::TarnItemParameter("01"), std::nullopt, false,
//                          [](Platform::Result<Common::TarnItem> item) {
//                              if (const auto* rails = item.error<Common::RailsError>()) std::puts(rails->what());
//                          });
//   // Future form: get() throws the call's error as its own type (RailsError, URLError...).
//   const Common::LSResponse window =
//       connection.makeAPICall(Common::WebService::LSParameter("0", 0, 200), std::nullopt, false).get();

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "Common/auth/CredentialSource.h"
#include "Common/connection/APIParameter.h"
#include "Common/connection/APIRequest.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Fulfil.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"
#include "Platform/http/URLSession.h"
#include "Platform/http/URLSessionConfiguration.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/log/Logger.h"
#include "Platform/url/URL.h"

namespace Common {

namespace WebService {

// The answer carries nothing of interest: nothing is decoded, the data reported is empty.
struct QUILLO_EXPORT EmptyReturnType {
    bool operator==(const EmptyReturnType&) const = default;
};
// The answer is raw bytes (a thumbnail): nothing is decoded, the bytes come as data.
struct QUILLO_EXPORT BinaryReturnType {
    bool operator==(const BinaryReturnType&) const = default;
};

}  // namespace WebService

// A decoded answer next to the bytes it came from.
template <class T>
struct APIResponse {
    T response;
    Platform::Data data;
};

// Sends the calls of the service's REST interface: builds the request from an endpoint
// parameter, attaches the bearer token of its credential source (OAuthManager::shared()
// unless given another), sends it, classifies the status, decodes the answer and
// reports a value or a typed error. Never retries, never refreshes. Every failure is
// counted process-wide; each 501st posts QuilloExceededErrorLimit to the user session.
// Copies share the three sessions. The download and upload sessions start on first use,
// so a connection that only makes API calls runs one I/O thread.
class QUILLO_EXPORT WebConnection {
public:
    // Takes scheme, host and port of the base address; its path is not used. Each call
    // waits `requestTimeoutInterval` seconds at most for the next byte.
    explicit WebConnection(const Platform::URL& baseURL, double requestTimeoutInterval = apiRequestTimeoutInterval);
    // The same, with the credential read from `credentials` instead of OAuthManager::shared().
    WebConnection(const Platform::URL& baseURL, std::shared_ptr<const CredentialSource> credentials,
                  double requestTimeoutInterval = apiRequestTimeoutInterval);

    struct Options {
        double requestTimeoutInterval = apiRequestTimeoutInterval;
        // Null: OAuthManager::shared(), looked up at each call.
        std::shared_ptr<const CredentialSource> credentials;
        // Connections each of the three sessions opens to one host at most.
        int maximumConnectionsPerHost = Platform::URLSessionConfiguration{}.maximumConnectionsPerHost;
    };
    WebConnection(const Platform::URL& baseURL, Options options);

    const Platform::URLSession& session() const noexcept { return session_; }
    // Thread-safe; created on first use and shared by every copy.
    const Platform::URLSession& downloadSession() const;
    const Platform::URLSession& uploadSession() const;
    const std::string& scheme() const noexcept { return scheme_; }
    const std::string& host() const noexcept { return host_; }
    std::optional<int> port() const noexcept { return port_; }

    // Completes on the concurrent pool, on a task of its own; the URL failure is the one
    // exception, reported before the call returns. `shouldRetry` changes nothing: every
    // call is one attempt. The progress is the transfer's (see URLSession::dataTask):
    // cancelling it fails the call with URLError::Code::cancelled, counted like any
    // transport failure. A call that fails before sending returns a finished progress.
    template <APIParameterType P>
    std::shared_ptr<Platform::Progress> makeAPICall(const P& parameter, std::optional<Platform::Data> body,
                                                    bool shouldRetry,
                                                    std::function<void(Platform::Result<typename P::ReturnType>)> completion) const {
        return makeAPICallWithReturn(parameter, std::move(body), shouldRetry,
                                     [completion = std::move(completion)](Platform::Result<APIResponse<typename P::ReturnType>> result) mutable {
                                         // Runs once: the completion moves on to the pool task.
                                         hop([completion = std::move(completion), result = std::move(result)]() mutable {
                                             if (result) {
                                                 completion(std::move(result).value().response);
                                             } else {
                                                 completion(result.error());
                                             }
                                         });
                                     });
    }

    // The value, or the error thrown from get().
    template <APIParameterType P>
    [[nodiscard]] std::future<typename P::ReturnType> makeAPICall(const P& parameter, std::optional<Platform::Data> body,
                                                    bool shouldRetry) const {
        auto promise = std::make_shared<std::promise<typename P::ReturnType>>();
        auto future = promise->get_future();
        makeAPICallWithReturn(parameter, std::move(body), shouldRetry,
                              [promise](Platform::Result<APIResponse<typename P::ReturnType>> result) {
                                  using R = typename P::ReturnType;
                                  Platform::fulfil(*promise, result ? Platform::Result<R>(std::move(result).value().response)
                                                                    : Platform::Result<R>(result.error()));
                              });
        return future;
    }

    template <APIParameterType P>
    std::shared_ptr<Platform::Progress> makeAPICallWithReturn(
        const P& parameter, std::optional<Platform::Data> body, bool shouldRetry,
        std::function<void(Platform::Result<APIResponse<typename P::ReturnType>>)> completion) const {
        using R = typename P::ReturnType;
        (void)shouldRetry;
        auto line = parameter.httpRequestLine();
        Decoder decode = [completion = std::move(completion), logger = logger_](Platform::Result<Platform::Data> received,
                                                         const std::string& requestLine) {
            if (!received) {
                completion(received.error());
                return;
            }
            auto data = std::move(received).value();
            if constexpr (std::is_same_v<R, WebService::EmptyReturnType>) {
                completion(APIResponse<R>{R{}, Platform::Data()});
                return;
            } else if constexpr (std::is_same_v<R, WebService::BinaryReturnType>) {
                logSuccess(logger, requestLine, data.size());
                completion(APIResponse<R>{R{}, std::move(data)});
                return;
            } else {
                std::optional<R> value;
                try {
                    value.emplace(Platform::JSONDecoder::forAPIResponse().decodeInPlace<R>(data));
                } catch (const Platform::Error& error) {
                    completion(reportFailure(requestLine, error));
                    return;
                }
                logSuccess(logger, requestLine, data.size());
                completion(APIResponse<R>{std::move(*value), std::move(data)});
            }
        };
        return send(parameter, std::move(line), std::move(body), std::move(decode));
    }

    // The process-wide failure counter, for diagnostics and tests.
    static std::int64_t failureCount() noexcept;
    static void resetFailureCount() noexcept;

private:
    // Receives the classified answer (2xx bytes, or the error) and finishes the call.
    using Decoder = std::function<void(Platform::Result<Platform::Data>, const std::string& requestLine)>;

    // Steps shared by every return type: URL, headers, token, request, send, status.
    std::shared_ptr<Platform::Progress> send(const APIParameter& parameter, std::string requestLine,
                                             std::optional<Platform::Data> body, Decoder decode) const;
    // Logs and counts a failure after the answer arrived; returns it for the completion.
    [[nodiscard]] static Platform::ErrorPtr reportFailure(const std::string& requestLine, const Platform::Error& error);
    static void logSuccess(const Platform::Logger& logger, const std::string& requestLine, std::size_t bytes);
    // Runs `task` on a new task of the concurrent pool.
    static void hop(std::function<void()> task);

    // The download and upload sessions, made on first use; copies share this.
    struct LazySessions {
        Platform::URLSessionConfiguration configuration;
        std::once_flag downloadOnce;
        std::once_flag uploadOnce;
        std::optional<Platform::URLSession> download;
        std::optional<Platform::URLSession> upload;
    };

    std::shared_ptr<LazySessions> lazySessions_;
    Platform::Logger logger_;
    Platform::URLSession session_;
    std::string scheme_;
    std::string host_;
    std::optional<int> port_;
    Options options_;
};

}  // namespace Common

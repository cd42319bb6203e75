#include "Common/connection/WebConnection.h"

#include <atomic>
#include <chrono>

#include "Common/auth/OAuthManager.h"
#include "Common/connection/APIRequest.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/RailsError.h"
#include "Common/local/NotificationNames.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/notification/DistributedNotificationCenter.h"
#include "Platform/time/Clock.h"

namespace Common {

namespace {

constexpr std::int64_t failureLimit = 500;
std::atomic<std::int64_t> failureCounter{0};

Platform::Logger connectionLogger() { return Platform::Logger(Platform::Logger::defaultSubsystem(), "Connection"); }

// Protects the backend from heavy load: every 501st failure is announced once to the
// whole user session. Increment, test and reset are one atomic step.
void countFailure() {
    auto current = failureCounter.load();
    std::int64_t next = 0;
    do {
        next = current + 1 > failureLimit ? 0 : current + 1;
    } while (!failureCounter.compare_exchange_weak(current, next));
    if (next == 0) {
        Platform::DistributedNotificationCenter::shared().post(QuilloExceededErrorLimit);
        connectionLogger().error("Protect backend from heavy load");
    }
}

Platform::URLSessionConfiguration sessionConfiguration(int maximumConnectionsPerHost) {
    auto configuration = Platform::URLSessionConfiguration::ephemeral();
    configuration.waitsForConnectivity = true;
    configuration.httpAdditionalHeaders = additionalSessionHeaders();
    configuration.maximumConnectionsPerHost = maximumConnectionsPerHost;
    return configuration;
}

// API answers are held whole in memory; 64 MiB is far above any listing and bounds what
// a broken server can make a call hold. Downloads and uploads stream, so theirs is open.
Platform::URLSessionConfiguration apiSessionConfiguration(int maximumConnectionsPerHost) {
    auto configuration = sessionConfiguration(maximumConnectionsPerHost);
    configuration.maximumResponseBodySize = std::uint64_t{64} << 20;
    return configuration;
}

}  // namespace

WebConnection::WebConnection(const Platform::URL& baseURL, double requestTimeoutInterval)
    : WebConnection(baseURL, Options{.requestTimeoutInterval = requestTimeoutInterval}) {}

WebConnection::WebConnection(const Platform::URL& baseURL, std::shared_ptr<const CredentialSource> credentials,
                             double requestTimeoutInterval)
    : WebConnection(baseURL,
                    Options{.requestTimeoutInterval = requestTimeoutInterval, .credentials = std::move(credentials)}) {}

WebConnection::WebConnection(const Platform::URL& baseURL, Options options)
    : lazySessions_(std::make_shared<LazySessions>()),
      logger_(Platform::Logger::defaultSubsystem(), "Connection"),
      session_(apiSessionConfiguration(options.maximumConnectionsPerHost)),
      scheme_(baseURL.scheme()),
      host_(baseURL.host()),
      port_(baseURL.port()),
      options_(std::move(options)) {
    // Downloads and uploads share the API session's settings but not its body maximum.
    lazySessions_->configuration = sessionConfiguration(options_.maximumConnectionsPerHost);
}

const Platform::URLSession& WebConnection::downloadSession() const {
    std::call_once(lazySessions_->downloadOnce, [&] { lazySessions_->download.emplace(lazySessions_->configuration); });
    return *lazySessions_->download;
}

const Platform::URLSession& WebConnection::uploadSession() const {
    std::call_once(lazySessions_->uploadOnce, [&] { lazySessions_->upload.emplace(lazySessions_->configuration); });
    return *lazySessions_->upload;
}

namespace {

// What a call that fails before sending returns: nothing left to cancel.
std::shared_ptr<Platform::Progress> finishedProgress() {
    auto progress = std::make_shared<Platform::Progress>();
    progress->finish();
    return progress;
}

}  // namespace

std::int64_t WebConnection::failureCount() noexcept { return failureCounter.load(); }

void WebConnection::resetFailureCount() noexcept { failureCounter.store(0); }

void WebConnection::hop(std::function<void()> task) { Platform::ConcurrentPool::post(std::move(task)); }

void WebConnection::logSuccess(const Platform::Logger& logger, const std::string& requestLine, std::size_t bytes) {
    logger.debug("✅ %{public}s %{iec-bytes,public}ld", requestLine, static_cast<std::int64_t>(bytes));
}

Platform::ErrorPtr WebConnection::reportFailure(const std::string& requestLine, const Platform::Error& error) {
    if (dynamic_cast<const Platform::DecodingError*>(&error)) {
        connectionLogger().fault("makeAPICallGeneric(_:_:shouldRetry:_:) DecodingError: %{public}s", requestLine);
    } else {
        connectionLogger().error("makeAPICallGeneric(_:_:shouldRetry:_:) %{public}s", requestLine);
    }
    countFailure();
    return error.clone();
}

std::shared_ptr<Platform::Progress> WebConnection::send(const APIParameter& parameter, std::string requestLine,
                                                        std::optional<Platform::Data> body, Decoder decode) const {
    auto url = apiRequestURL({scheme_, host_, port_}, parameter);
    if (!url) {
        logger_.fault("makeAPICallGeneric(_:_:shouldRetry:_:) Unable to create URL from components");
        countFailure();
        decode(CommonError::unexpected().clone(), requestLine);
        return finishedProgress();
    }

    // The steps up to the hand-over to the session run here, before the call returns: a
    // pool task of their own would only add a thread switch per call. The completion still
    // always runs on the pool.
    std::vector<std::pair<std::string, std::optional<std::string>>> headers;
    if (parameter.isJSONRequest()) headers.emplace_back("Content-Type", "application/json; charset=UTF-8");
    logger_.debug("🌐 %{public}s", requestLine);
    if (parameter.isAuthRequired()) {
        const CredentialSource& source = options_.credentials ? *options_.credentials : OAuthManager::shared();
        const char* refusal = nullptr;
        std::shared_ptr<const Credential> credential;
        if (source.isExpired()) {
            logger_.fault("makeAPICallGeneric(_:_:shouldRetry:_:) Token expired");
            refusal = "Token expired";
        } else if (credential = source.credential(); !credential) {
            logger_.fault("makeAPICallGeneric(_:_:shouldRetry:_:) Token not found");
            refusal = "Not found bearer token";
        }
        if (refusal) {
            countFailure();
            hop([decode = std::move(decode), requestLine = std::move(requestLine), refusal] {
                decode(RailsError::unauthorized(refusal).clone(), requestLine);
            });
            return finishedProgress();
        }
        headers.emplace_back("Authorization", "Bearer " + credential->accessToken());
    }
    auto request = makeURLRequest(std::move(*url), Platform::URLRequestCachePolicy::reloadIgnoringLocalCacheData,
                                  options_.requestTimeoutInterval, std::move(body),
                                  std::string(Platform::rawValue(parameter.method())), headers);
    const auto started = Platform::Clock::steadyNow();
    return session_.dataTask(std::move(request), [logger = logger_, requestLine = std::move(requestLine), started,
                                           decode = std::move(decode)](Platform::URLSession::DataResult result) {
        if (!result) {
            decode(reportFailure(requestLine, *result.error()), requestLine);
            return;
        }
        auto [data, response] = std::move(result).value();
        const std::chrono::duration<double> elapsed = Platform::Clock::steadyNow() - started;
        logger.debug("🕐 %{public}s %{public}f sec", requestLine, elapsed.count());
        const auto status = statusOf(response.statusCode);
        if (!status) {
            decode(reportFailure(requestLine, RailsError::unexpected()), requestLine);
            return;
        }
        if (responseType(*status) != HTTPStatusCodeResponseType::success) {
            decode(reportFailure(requestLine, RailsError::httpError(*status, std::move(data))), requestLine);
            return;
        }
        decode(std::move(data), requestLine);
    });
}

}  // namespace Common

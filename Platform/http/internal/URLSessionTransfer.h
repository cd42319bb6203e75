#pragma once

// Internal to URLSession: one task's request, body strategies and per-attempt libcurl
// state. Not for use outside Platform/http.

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/core/Data.h"
#include "Platform/core/Progress.h"
#include "Platform/core/Result.h"
#include "Platform/http/HTTPURLResponse.h"
#include "Platform/http/URLError.h"
#include "Platform/http/URLRequest.h"
#include "Platform/http/URLSessionConfiguration.h"
#include "Platform/http/internal/ResponseHeaderParser.h"
#include "Platform/time/Clock.h"

namespace Platform::detail {

// Where a request body comes from: bytes in memory, or part of a file.
class TransferBodySource {
public:
    virtual ~TransferBodySource() = default;
    // Hands the body to `easy` for one attempt; the source outlives the attempt.
    // Returns the first option libcurl refused, or CURLE_OK.
    virtual CURLcode attach(CURL* easy) = 0;
    // Bytes the body holds, when known up front.
    virtual std::optional<std::uint64_t> size() const = 0;
    // Why the body cannot be sent at all; nothing goes out then.
    virtual std::optional<std::string> invalidReason() const { return std::nullopt; }
    // Why the last attempt stopped reading the body.
    virtual ErrorPtr failure() const { return nullptr; }
};

// The request body is a Data; libcurl reads it in place (no copy, NUL bytes kept).
class DataBodySource final : public TransferBodySource {
public:
    explicit DataBodySource(Data body) : body_(std::move(body)) {}
    CURLcode attach(CURL* easy) override;
    std::optional<std::uint64_t> size() const override { return body_.size(); }

private:
    Data body_;
};

// Where a response body goes: a Data now, a file later.
class TransferBodySink {
public:
    virtual ~TransferBodySink() = default;
    // A response's body starts; whatever an earlier response (redirect, retry) left is
    // dropped. `expectedLength` is its Content-Length when the server sent one.
    virtual void begin(std::optional<std::uint64_t> expectedLength) = 0;
    // False stops the transfer; `failure()` then says why.
    virtual bool write(const char* bytes, std::size_t size) = 0;
    virtual ErrorPtr failure() const { return nullptr; }
    // The task failed: let go of what was received.
    virtual void discard() noexcept {}
};

// Collects the body into a Data that always keeps `padding` spare bytes of capacity past
// its size: the JSON parser reads that far when it parses in place.
class DataBodySink final : public TransferBodySink {
public:
    static constexpr std::size_t padding = 64;
    // Content-Length above this is not trusted for reserving memory up front.
    static constexpr std::uint64_t maximumReservation = 64u << 20;

    // `maximumSize`: the body never grows past it (the transfer fails first), so the
    // buffer never grows past it plus the padding either.
    explicit DataBodySink(std::optional<std::uint64_t> maximumSize = std::nullopt) : maximumSize_(maximumSize) {}

    void begin(std::optional<std::uint64_t> expectedLength) override;
    bool write(const char* bytes, std::size_t size) override;
    ErrorPtr failure() const override { return failure_; }
    void discard() noexcept override;
    // The body, padded; the sink is empty afterwards.
    Data take();

private:
    std::optional<std::uint64_t> maximumSize_;
    Data data_;
    ErrorPtr failure_;
};

// One task of a session. The engine runs it in one or more attempts (more only while
// it waits for connectivity) and then calls `complete` exactly once.
class URLSessionTransfer {
public:
    using TimePoint = Clock::SteadyTimePoint;

    // `progress`: one the caller already holds (its cancel then stops this task); null makes one.
    URLSessionTransfer(URLRequest request, std::unique_ptr<TransferBodySource> source,
                       std::unique_ptr<TransferBodySink> sink, std::shared_ptr<Progress> progress = nullptr);
    virtual ~URLSessionTransfer();
    URLSessionTransfer(const URLSessionTransfer&) = delete;
    URLSessionTransfer& operator=(const URLSessionTransfer&) = delete;

    const URLRequest& request() const noexcept { return request_; }
    // Bytes sent and received so far; cancelling it cancels the task.
    Progress& progress() const noexcept { return *progress_; }
    const std::shared_ptr<Progress>& sharedProgress() const noexcept { return progress_; }

    // Checks the request against `configuration` and prepares what every attempt sends.
    // An error here means nothing may be sent.
    ErrorPtr prepare(const URLSessionConfiguration& configuration);

    // Where libcurl finds a proxy. Looking in the environment costs it several getenv
    // calls and comparisons per transfer; a session reads the environment once instead.
    enum class ProxyLookup { environment, none };
    // `environment` when any variable libcurl reads a proxy from is set.
    [[nodiscard]] static ProxyLookup proxyLookupFromEnvironment();

    // Sets the options every attempt on any transfer shares, once per new handle.
    static CURLcode configureHandle(CURL* easy, ProxyLookup proxy);
    // Sets up `easy` (configured once, possibly used before) for one attempt that must
    // end by `deadline`.
    ErrorPtr attach(CURL* easy, TimePoint deadline);
    // Clears what an attempt left pointing into its transfer, before `easy` idles.
    static void detach(CURL* easy) noexcept;

    // What the attempt on `easy` that ended with `code` produced.
    Result<HTTPURLResponse> outcome(CURL* easy, CURLcode code);

    // Turns the task's result into the work that hands it to the caller, which the
    // engine runs on the concurrent pool (batched with others). Called once; must not block.
    [[nodiscard]] virtual std::function<void()> complete(Result<HTTPURLResponse> outcome) = 0;

    // The engine's bookkeeping.
    TimePoint deadline{};
    TimePoint nextAttempt{};
    std::chrono::milliseconds retryInterval{0};

protected:
    TransferBodySink& sink() noexcept { return *sink_; }

private:
    static std::size_t refuseRead(char* buffer, std::size_t size, std::size_t count, void* self);
    static std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* self);
    static int onTransferInfo(void* self, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t uploadTotal,
                              curl_off_t uploaded);
    std::size_t receiveHeader(std::string_view line);
    // The response just ended its header block with a Content-Length past the maximum.
    [[nodiscard]] bool exceedsDeclaredLength() const;
    // Counts `length` more body bytes; false (the attempt failed, the body let go) past the maximum.
    [[nodiscard]] bool receiveBody(std::size_t length);
    void failWith(URLError::Code code, std::string detail);
    void countReceived(std::size_t bytes) noexcept;

    URLRequest request_;
    std::unique_ptr<TransferBodySource> source_;
    std::unique_ptr<TransferBodySink> sink_;
    std::shared_ptr<Progress> progress_;
    // Progress only grows: body bytes of every attempt add up (redirect bodies are never
    // handed over, and an attempt held for connectivity received nothing).
    std::int64_t sent_ = 0;
    std::int64_t received_ = 0;
    std::int64_t bodySize_ = 0;
    curl_slist* headers_ = nullptr;
    std::string method_;
    std::optional<std::uint64_t> maximumBodySize_;
    // Per attempt.
    detail::ResponseHeaderParser responseHeaders_;
    bool bodyStarted_ = false;
    std::uint64_t bodyLength_ = 0;
    // Why the session itself stopped the attempt (a bound was passed).
    ErrorPtr failure_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

// The URLError for a libcurl result other than CURLE_OK.
URLError::Code urlErrorCode(CURLcode code) noexcept;

}  // namespace Platform::detail

#include "Platform/http/internal/URLSessionTransfer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <new>

#include "Platform/core/ASCII.h"

namespace Platform::detail {

namespace {

constexpr long maximumRedirects = 16;

// RFC 9110 token characters: what a method or a header name may hold. A table, since
// every field of every request is checked.
bool isToken(std::string_view text) {
    static constexpr auto tokenCharacters = alphanumericsAnd("!#$%&'*+-.^_`|~");
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return tokenCharacters[static_cast<unsigned char>(c)]; });
}

// CR or LF would end the field early and let the rest be read as further fields.
bool isSafeValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\0') out += "\\0";
        else out += c;
    }
    return out;
}

// Fields libcurl must compute itself, or that the session always sets.
bool isManagedField(std::string_view name) {
    return equalsIgnoringASCIICase(name, "Expect") || equalsIgnoringASCIICase(name, "Content-Length");
}

template <class T>
CURLcode set(CURL* easy, CURLoption option, T value, CURLcode& first) {
    const CURLcode code = curl_easy_setopt(easy, option, value);
    if (first == CURLE_OK) first = code;
    return code;
}

constexpr double defaultTimeoutInterval = 60;

// libcurl's answer to a header line or block past its own bounds.
bool isHeaderBlockTooLarge(CURLcode code) {
#if LIBCURL_VERSION_NUM >= 0x080600
    if (code == CURLE_TOO_LARGE) return true;
#endif
    return code == CURLE_OUT_OF_MEMORY;
}

}  // namespace

URLError::Code urlErrorCode(CURLcode code) noexcept {
    using Code = URLError::Code;
    switch (code) {
        case CURLE_ABORTED_BY_CALLBACK: return Code::cancelled;
        case CURLE_URL_MALFORMAT: return Code::badURL;
        case CURLE_UNSUPPORTED_PROTOCOL: return Code::unsupportedURL;
        case CURLE_OPERATION_TIMEDOUT: return Code::timedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return Code::cannotFindHost;
        case CURLE_COULDNT_CONNECT: return Code::cannotConnectToHost;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_HTTP3: return Code::networkConnectionLost;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ISSUER_ERROR: return Code::serverCertificateUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_USE_SSL_FAILED: return Code::secureConnectionFailed;
        case CURLE_WEIRD_SERVER_REPLY: return Code::badServerResponse;
        case CURLE_TOO_MANY_REDIRECTS: return Code::tooManyRedirects;
        case CURLE_BAD_CONTENT_ENCODING: return Code::cannotDecodeContentData;
        default: return Code::unknown;
    }
}

CURLcode DataBodySource::attach(CURL* easy) {
    CURLcode first = CURLE_OK;
    set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()), first);
    set(easy, CURLOPT_POSTFIELDS, body_.data(), first);
    return first;
}

void DataBodySink::begin(std::optional<std::uint64_t> expectedLength) {
    data_.clear();
    auto wanted = std::min(expectedLength.value_or(0), maximumReservation);
    if (maximumSize_) wanted = std::min(wanted, *maximumSize_);
    data_.reserve(static_cast<std::size_t>(wanted) + padding);
}

bool DataBodySink::write(const char* bytes, std::size_t size) {
    try {
        const std::size_t needed = data_.size() + size + padding;
        if (data_.capacity() < needed) {
            std::uint64_t grown = std::max<std::uint64_t>(needed, data_.capacity() * std::uint64_t{2});
            if (maximumSize_) {
                // Past half the ceiling, straight to it: growing copies, and a copy from at
                // most half holds no more than the ceiling in all.
                const std::uint64_t ceiling = *maximumSize_ + padding;
                if (grown > ceiling / 2) grown = std::max<std::uint64_t>(needed, ceiling);
            }
            data_.reserve(static_cast<std::size_t>(grown));
        }
        data_.append(bytes, size);
        return true;
    } catch (const std::exception& error) {
        failure_ = std::make_shared<URLError>(URLError::Code::unknown, std::nullopt, 0,
                                              std::string("The response body could not be kept: ") + error.what());
        return false;
    }
}

void DataBodySink::discard() noexcept {
    Data().swap(data_);  // clear() would keep the capacity
}

Data DataBodySink::take() {
    Data body = std::move(data_);
    data_.clear();
    if (body.capacity() < body.size() + padding) body.reserve(body.size() + padding);
    return body;
}

URLSessionTransfer::URLSessionTransfer(URLRequest request, std::unique_ptr<TransferBodySource> source,
                                       std::unique_ptr<TransferBodySink> sink, std::shared_ptr<Progress> progress)
    : request_(std::move(request)),
      source_(std::move(source)),
      sink_(std::move(sink)),
      progress_(progress ? std::move(progress) : std::make_shared<Progress>()) {}

URLSessionTransfer::~URLSessionTransfer() {
    // Whatever path ends the task, a later cancel must find nothing to call.
    progress_->finish();
    curl_slist_free_all(headers_);
}

ErrorPtr URLSessionTransfer::prepare(const URLSessionConfiguration& configuration) {
    maximumBodySize_ = configuration.maximumResponseBodySize;
    const auto refuse = [&](URLError::Code code, std::string why) -> ErrorPtr {
        return std::make_shared<URLError>(code, request_.url, 0, std::move(why));
    };
    const std::string& scheme = request_.url.scheme();
    if (!equalsIgnoringASCIICase(scheme, "http") && !equalsIgnoringASCIICase(scheme, "https")) {
        return refuse(URLError::Code::unsupportedURL, "scheme \"" + printable(scheme) + "\" is not http or https");
    }
    if (request_.url.host().empty()) return refuse(URLError::Code::badURL, "the URL has no host");

    method_ = request_.httpMethod.empty() ? std::string("GET") : request_.httpMethod;
    if (!isToken(method_)) {
        return refuse(URLError::Code::invalidRequest, "method \"" + printable(method_) + "\" is not a token");
    }

    if (source_) {
        if (equalsIgnoringASCIICase(method_, "GET") || equalsIgnoringASCIICase(method_, "HEAD")) {
            return refuse(URLError::Code::invalidRequest, method_ + " carries no body");
        }
        if (auto reason = source_->invalidReason()) return refuse(URLError::Code::invalidRequest, std::move(*reason));
    }

    const auto check = [&](const std::pair<std::string, std::string>& field) -> ErrorPtr {
        if (!isToken(field.first)) {
            return refuse(URLError::Code::invalidRequest,
                          "header field name \"" + printable(field.first) + "\" is not a token");
        }
        if (!isSafeValue(field.second)) {
            return refuse(URLError::Code::invalidRequest, "header field \"" + field.first +
                                                              "\" has a value with CR, LF or NUL: \"" +
                                                              printable(field.second) + "\"");
        }
        return nullptr;
    };
    std::vector<const std::pair<std::string, std::string>*> fields;
    for (const auto& field : configuration.httpAdditionalHeaders) {
        if (auto error = check(field)) return error;
        if (!request_.value(field.first)) fields.push_back(&field);
    }
    for (const auto& field : request_.allHTTPHeaderFields) {
        if (auto error = check(field)) return error;
        fields.push_back(&field);
    }

    curl_slist_free_all(headers_);
    headers_ = nullptr;
    const auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers_, line.c_str());
        if (grown == nullptr) throw std::bad_alloc();
        headers_ = grown;
    };
    for (const auto* field : fields) {
        if (isManagedField(field->first)) continue;
        // "Name:" would tell libcurl to drop the field; "Name;" sends it empty.
        append(field->second.empty() ? field->first + ";" : field->first + ": " + field->second);
    }
    // Never wait for 100-continue: bodies go out at once. Without a body libcurl asks
    // for none, and the field would only cost a lookup per call.
    if (source_) append("Expect:");
    return nullptr;
}

URLSessionTransfer::ProxyLookup URLSessionTransfer::proxyLookupFromEnvironment() {
    // What libcurl reads for http and https URLs (it ignores "HTTP_PROXY" on purpose).
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        if (std::getenv(name) != nullptr) return ProxyLookup::environment;
    }
    return ProxyLookup::none;
}

CURLcode URLSessionTransfer::configureHandle(CURL* easy, ProxyLookup proxy) {
    CURLcode first = CURLE_OK;
    if (proxy == ProxyLookup::none) {
        // Empty: no proxy, and no look at the environment (no_proxy included).
        set(easy, CURLOPT_PROXY, "", first);
        set(easy, CURLOPT_NOPROXY, "", first);
    }
    set(easy, CURLOPT_PROTOCOLS_STR, "http,https", first);
    set(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https", first);
    set(easy, CURLOPT_NOSIGNAL, 1L, first);
    set(easy, CURLOPT_FOLLOWLOCATION, 1L, first);
    set(easy, CURLOPT_MAXREDIRS, maximumRedirects, first);
    set(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS), first);
    set(easy, CURLOPT_ACCEPT_ENCODING, "", first);
    set(easy, CURLOPT_TCP_KEEPALIVE, 1L, first);
    set(easy, CURLOPT_HEADERFUNCTION, &URLSessionTransfer::onHeader, first);
    set(easy, CURLOPT_WRITEFUNCTION, &URLSessionTransfer::onBody, first);
    set(easy, CURLOPT_XFERINFOFUNCTION, &URLSessionTransfer::onTransferInfo, first);
    set(easy, CURLOPT_LOW_SPEED_LIMIT, 1L, first);
    set(easy, CURLOPT_READFUNCTION, &URLSessionTransfer::refuseRead, first);
    return first;
}

std::size_t URLSessionTransfer::refuseRead(char*, std::size_t, std::size_t, void*) {
    // libcurl's own reader takes standard input; a body always comes from its source.
    return CURL_READFUNC_ABORT;
}

void URLSessionTransfer::detach(CURL* easy) noexcept {
    // The transfer (its error buffer, header list, body) may be gone before the handle is
    // used again or cleaned up.
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &URLSessionTransfer::refuseRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, static_cast<curl_seek_callback>(nullptr));
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, static_cast<void*>(nullptr));
}

ErrorPtr URLSessionTransfer::attach(CURL* easy, TimePoint deadline) {
    responseHeaders_.reset();
    bodyStarted_ = false;
    bodyLength_ = 0;
    failure_.reset();
    errorBuffer_[0] = '\0';

    // Zero or below, or NaN, means the default rather than "at once"; infinity, a year.
    double idle = request_.timeoutInterval;
    if (std::isnan(idle) || idle <= 0) idle = defaultTimeoutInterval;
    idle = std::min(idle, 86400.0 * 365);
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::steadyNow());

    // The handle keeps the options of configureHandle and of its last attempt: every
    // option an attempt may set is set here each time, to its value or its default.
    CURLcode first = CURLE_OK;
    set(easy, CURLOPT_PRIVATE, static_cast<void*>(this), first);
    set(easy, CURLOPT_URL, request_.url.absoluteString().c_str(), first);
    set(easy, CURLOPT_ERRORBUFFER, errorBuffer_, first);
    set(easy, CURLOPT_HTTPHEADER, headers_, first);
    set(easy, CURLOPT_HEADERDATA, static_cast<void*>(this), first);
    set(easy, CURLOPT_WRITEDATA, static_cast<void*>(this), first);
    set(easy, CURLOPT_XFERINFODATA, static_cast<void*>(this), first);
    // Bytes sent are only worth a callback when there is a body to send.
    set(easy, CURLOPT_NOPROGRESS, source_ ? 0L : 1L, first);
    // The request's timeout is an idle timeout: connecting, or no byte moving, for that long.
    // At least 1 ms: libcurl reads 0 as its own default of five minutes.
    set(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(1L, static_cast<long>(idle * 1000)), first);
    set(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::ceil(idle)), first);
    // The session's resource timeout bounds the whole task.
    set(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<std::int64_t>(1, remaining.count())), first);

    set(easy, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr), first);
    set(easy, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr), first);
    set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1), first);
    if (equalsIgnoringASCIICase(method_, "GET")) {
        set(easy, CURLOPT_HTTPGET, 1L, first);
    } else if (equalsIgnoringASCIICase(method_, "HEAD")) {
        set(easy, CURLOPT_HTTPGET, 1L, first);
        set(easy, CURLOPT_NOBODY, 1L, first);
    } else {
        set(easy, CURLOPT_HTTPGET, 1L, first);  // clears what the last attempt chose
        // POST, PUT and PATCH say "Content-Length: 0" when they have no body.
        const bool emptyBody =
            !source_ && (equalsIgnoringASCIICase(method_, "POST") || equalsIgnoringASCIICase(method_, "PUT") || equalsIgnoringASCIICase(method_, "PATCH"));
        if (equalsIgnoringASCIICase(method_, "POST")) {
            set(easy, CURLOPT_POST, 1L, first);
        } else {
            set(easy, CURLOPT_CUSTOMREQUEST, method_.c_str(), first);
            if (source_ || emptyBody) set(easy, CURLOPT_POST, 1L, first);
        }
        if (source_) {
            const CURLcode code = source_->attach(easy);
            if (first == CURLE_OK) first = code;
        } else if (emptyBody) {
            // An empty body still says so: Content-Length: 0. Without a size libcurl would
            // read a body from the process's standard input.
            set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0), first);
            set(easy, CURLOPT_POSTFIELDS, "", first);
        }
    }
    if (first != CURLE_OK) {
        return std::make_shared<URLError>(URLError::Code::unknown, request_.url, static_cast<int>(first),
                                          curl_easy_strerror(first));
    }
    if (source_ && source_->size()) {
        bodySize_ = static_cast<std::int64_t>(*source_->size());
        progress_->setTotalUnitCount(std::max(progress_->totalUnitCount(), bodySize_));
    }
    return nullptr;
}

Result<HTTPURLResponse> URLSessionTransfer::outcome(CURL* easy, CURLcode code) {
    if (failure_) return failure_;
    if (code != CURLE_OK && source_) {
        if (auto failure = source_->failure()) return failure;
    }
    if (code == CURLE_WRITE_ERROR) {
        if (auto failure = sink_->failure()) return failure;
    }
    // Parsing a URL costs more than the rest of the outcome: only a redirect or a
    // failure needs it.
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    std::optional<URL> url;
    if (redirects > 0 || code != CURLE_OK) {
        char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        if (effective != nullptr) url = URL::parse(effective);
    }
    if (code != CURLE_OK) {
        std::string detail = errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : curl_easy_strerror(code);
        auto kind = urlErrorCode(code);
        // libcurl says "unsupported protocol" also when an http server answers in something
        // other than HTTP; only a redirect to another scheme is an unsupported URL.
        if (kind == URLError::Code::unsupportedURL && url &&
            (equalsIgnoringASCIICase(url->scheme(), "http") || equalsIgnoringASCIICase(url->scheme(), "https"))) {
            kind = URLError::Code::badServerResponse;
        }
        // libcurl refuses a header line past its own bound as if memory ran out.
        if (isHeaderBlockTooLarge(code) && !responseHeaders_.isComplete()) kind = URLError::Code::badServerResponse;
        return ErrorPtr(std::make_shared<URLError>(kind, request_.url, static_cast<int>(code), std::move(detail)));
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 100 || status > 999) {
        return ErrorPtr(std::make_shared<URLError>(URLError::Code::badServerResponse, request_.url, 0,
                                                   "status " + std::to_string(status)));
    }
    if (!bodyStarted_) sink_->begin(std::nullopt);
    // Done: the count is final, and so is the total.
    curl_off_t uploaded = 0;
    if (curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK) sent_ = std::max(sent_, uploaded);
    progress_->setCompletedUnitCount(sent_ + received_);
    progress_->setTotalUnitCount(sent_ + received_);
    return HTTPURLResponse{
        .url = url.value_or(request_.url),
        .statusCode = status,
        .allHeaderFields = responseHeaders_.takeFields(),
    };
}

std::size_t URLSessionTransfer::onHeader(char* buffer, std::size_t size, std::size_t count, void* self) {
    const std::size_t length = size * count;
    try {
        if (static_cast<URLSessionTransfer*>(self)->receiveHeader(std::string_view(buffer, length)) == 0) return 0;
        return length;
    } catch (...) {
        return 0;  // Out of memory: abort rather than let the exception cross libcurl.
    }
}

std::size_t URLSessionTransfer::receiveHeader(std::string_view line) {
    using Line = detail::ResponseHeaderParser::Line;
    switch (responseHeaders_.receive(line)) {
        case Line::refused:
            failWith(URLError::Code::badServerResponse, responseHeaders_.refusal());
            return 0;
        case Line::statusLine:
            bodyStarted_ = false;
            bodyLength_ = 0;
            return 1;
        case Line::endOfBlock:
            if (exceedsDeclaredLength()) {
                failWith(URLError::Code::dataLengthExceedsMaximum,
                         "Content-Length " + std::to_string(*responseHeaders_.contentLength()) +
                             " is more than the maximum of " + std::to_string(*maximumBodySize_) + " bytes");
                return 0;
            }
            bodyStarted_ = true;
            sink_->begin(equalsIgnoringASCIICase(method_, "HEAD") ? std::nullopt : responseHeaders_.contentLength());
            return 1;
        case Line::field:
        case Line::trailer: break;
    }
    return 1;
}

bool URLSessionTransfer::exceedsDeclaredLength() const {
    if (!maximumBodySize_ || equalsIgnoringASCIICase(method_, "HEAD")) return false;
    const long status = responseHeaders_.statusCode();
    // No body follows these; libcurl skips the body of a redirect it follows.
    if (status < 200 || status == 204 || status == 304 || (status / 100 == 3 && responseHeaders_.hasLocation())) {
        return false;
    }
    // A coded body's length says nothing about its decoded size: that is checked as it arrives.
    if (responseHeaders_.hasContentCoding()) return false;
    const auto length = responseHeaders_.contentLength();
    return length && *length > *maximumBodySize_;
}

bool URLSessionTransfer::receiveBody(std::size_t length) {
    if (!bodyStarted_) {
        bodyStarted_ = true;
        sink_->begin(responseHeaders_.contentLength());
    }
    // The bytes come decoded, so a small coded body that expands stops here too.
    if (maximumBodySize_ && length > *maximumBodySize_ - bodyLength_) {
        failWith(URLError::Code::dataLengthExceedsMaximum,
                 "the body is longer than the maximum of " + std::to_string(*maximumBodySize_) + " bytes");
        sink_->discard();
        return false;
    }
    bodyLength_ += length;
    return true;
}

void URLSessionTransfer::failWith(URLError::Code code, std::string detail) {
    failure_ = std::make_shared<URLError>(code, request_.url, 0, std::move(detail));
}

std::size_t URLSessionTransfer::onBody(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<URLSessionTransfer*>(self);
    const std::size_t length = size * count;
    try {
        if (!transfer.receiveBody(length)) return 0;
    } catch (...) {
        return 0;
    }
    if (!transfer.sink_->write(buffer, length)) return 0;
    transfer.countReceived(length);
    return length;
}

void URLSessionTransfer::countReceived(std::size_t bytes) noexcept {
    received_ += static_cast<std::int64_t>(bytes);
    const std::int64_t done = sent_ + received_;
    // Content-Length counts encoded bytes; decoded ones may outgrow it.
    const std::int64_t expected = bodySize_ + static_cast<std::int64_t>(responseHeaders_.contentLength().value_or(0));
    if (progress_->totalUnitCount() < std::max(done, expected)) progress_->setTotalUnitCount(std::max(done, expected));
    progress_->setCompletedUnitCount(done);
}

int URLSessionTransfer::onTransferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto& transfer = *static_cast<URLSessionTransfer*>(self);
    // libcurl counts each attempt from zero: keep the highest count so it never goes back.
    if (uploaded > transfer.sent_) {
        transfer.sent_ = uploaded;
        transfer.progress_->setCompletedUnitCount(transfer.sent_ + transfer.received_);
    }
    return 0;
}

}  // namespace Platform::detail

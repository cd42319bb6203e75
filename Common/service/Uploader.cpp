#include "Common/service/Uploader.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <vector>

#include "Common/auth/SharedConstants.h"
#include "Common/connection/CloudianError.h"
#include "Common/connection/HTTPServerError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/fileprovider/PartRanges.h"
#include "Common/service/AbortMultiPartUploadForModificationParameter.h"
#include "Common/service/AbortMultiPartUploadParameter.h"
#include "Common/service/CompleteMultiPartUploadForModificationParameter.h"
#include "Common/service/CompleteMultiPartUploadParameter.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/service/MultiPartUploadError.h"
#include "Common/service/PresignedURLForModificationParameter.h"
#include "Common/service/PresignedURLParameter.h"
#include "Common/service/internal/DelayedTasks.h"
#include "Common/service/internal/RetryDelay.h"
#include "Common/service/internal/UploadJournal.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/core/Fulfil.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/http/URLError.h"
#include "Platform/log/Logger.h"
#include "Platform/time/Clock.h"
#include "Platform/url/PercentEncoding.h"

namespace Common {

namespace {

using Platform::ErrorPtr;
using Platform::FileDescriptor;

Platform::Logger uploaderLogger() { return Platform::Logger(Platform::Logger::defaultSubsystem(), "Uploader"); }

struct FileState {
    std::uint64_t size = 0;
    double mtime = 0;
    bool operator==(const FileState&) const = default;
};

std::optional<FileState> fileState(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) return std::nullopt;
    return FileState{static_cast<std::uint64_t>(status.st_size),
                     static_cast<double>(status.st_mtim.tv_sec) + static_cast<double>(status.st_mtim.tv_nsec) / 1e9};
}

using Digest = std::array<unsigned char, 16>;

using DigestContext = Platform::UniqueHandle<EVP_MD_CTX*, &EVP_MD_CTX_free>;

// The MD5 of the range, read in pieces so no part is ever held whole; nothing when the
// file ended early or could not be read.
std::optional<Digest> md5(int fd, const PartRange& range) {
    constexpr std::size_t pieceSize = std::size_t{256} << 10;
    thread_local const std::unique_ptr<unsigned char[]> piece(new unsigned char[pieceSize]);
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return std::nullopt;
    std::uint64_t done = 0;
    const auto count = static_cast<std::uint64_t>(range.count());
    while (done < count) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize, count - done));
        const auto n = ::pread(fd, piece.get(), wanted, range.lowerBound + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        if (EVP_DigestUpdate(context.get(), piece.get(), static_cast<std::size_t>(n)) != 1) return std::nullopt;
        done += static_cast<std::uint64_t>(n);
    }
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return std::nullopt;
    return digest;
}

std::string hex(const Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

std::string base64(const Digest& digest) {
    std::array<unsigned char, 32> text{};
    const int length = EVP_EncodeBlock(text.data(), digest.data(), static_cast<int>(digest.size()));
    return std::string(reinterpret_cast<const char*>(text.data()), static_cast<std::size_t>(length));
}

// A tag of 32 hex digits in quotes is the part's MD5; other forms (with a "-n" suffix,
// from encrypted stores) say nothing about the bytes.
std::optional<std::string> plainMD5(std::string_view tag) {
    if (tag.size() != 34 || tag.front() != '"' || tag.back() != '"') return std::nullopt;
    std::string digits;
    for (char c : tag.substr(1, 32)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return digits;
}

// "<Code>: <Message>" of the storage's XML error body, read from its first 64 KiB.
std::optional<std::string> storageErrorText(std::string_view body) {
    body = body.substr(0, std::size_t{64} << 10);
    auto element = [&](std::string_view name) -> std::optional<std::string> {
        const auto open = "<" + std::string(name) + ">";
        const auto start = body.find(open);
        if (start == std::string_view::npos) return std::nullopt;
        const auto end = body.find("</" + std::string(name) + ">", start);
        if (end == std::string_view::npos) return std::nullopt;
        return std::string(body.substr(start + open.size(), std::min<std::size_t>(end - start - open.size(), 1024)));
    };
    const auto code = element("Code");
    const auto message = element("Message");
    if (code && message) return *code + ": " + *message;
    if (code) return code;
    return message;
}

// Scheme, host and path: the query holds the signature.
std::string shortAddress(const Platform::URL& url) {
    return url.scheme() + "://" + url.host() + (url.port() ? ":" + std::to_string(*url.port()) : "") + url.path();
}

bool isTransientStatus(long status) { return status == 408 || status == 429 || (status >= 500 && status <= 599); }

bool isTransient(const Platform::Error& error) {
    if (const auto* url = dynamic_cast<const Platform::URLError*>(&error)) {
        using Code = Platform::URLError::Code;
        switch (url->code()) {
            case Code::timedOut:
            case Code::cannotConnectToHost:
            case Code::networkConnectionLost:
            case Code::notConnectedToInternet:
            case Code::badServerResponse: return true;
            default: return false;
        }
    }
    if (const auto* server = dynamic_cast<const HTTPServerError*>(&error)) {
        const auto status = server->statusCode();
        return status && isTransientStatus(static_cast<long>(*status));
    }
    if (const auto* upload = dynamic_cast<const MultiPartUploadError*>(&error)) {
        // A part that arrived damaged is sent again.
        return upload->code() == MultiPartUploadError::Code::checksumMismatch;
    }
    return false;
}

std::string encoded(const std::string& text) {
    if (auto value = Platform::addingPercentEncoding(text)) return std::move(*value);
    return Platform::percentEncoding(text, "-._~");
}

double uniformRandom() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

class UploadJob : public std::enable_shared_from_this<UploadJob> {
public:
    using Completion = std::function<void(Platform::Result<TarnItem>)>;

    UploadJob(WebConnection connection, Uploader::Options options, UploadDestination destination,
              std::filesystem::path file, Completion completion)
        : connection_(std::move(connection)),
          options_(std::move(options)),
          destination_(std::move(destination)),
          file_(std::move(file)),
          completion_(std::move(completion)),
          encodedIdentifier_(encoded(destination_.identifier)) {
        options_.concurrentParts = std::max(1, options_.concurrentParts);
        options_.retry.maximumAttempts = std::max(1, options_.retry.maximumAttempts);
    }

    const std::shared_ptr<Platform::Progress>& progress() const noexcept { return progress_; }

    void begin() {
        progress_->setCancellationHandler([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->stop(std::make_shared<Platform::URLError>(Platform::URLError::Code::cancelled));
        });
        Platform::ConcurrentPool::post([self = shared_from_this()] { self->start(); });
    }

private:
    bool isNewFile() const { return destination_.kind == UploadDestination::Kind::newFile; }

    void start() {
        fd_ = std::make_shared<const FileDescriptor>(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
        const auto state = *fd_ ? fileState(fd_->get()) : std::nullopt;
        if (!state) return finish(failure(MultiPartUploadError::Code::fileUnreadable, file_.string()));
        state_ = *state;
        partSize_ = Uploader::partSize(state_.size, options_);
        try {
            ranges_ = ranges(state_.size, partSize_);
        } catch (const Platform::Error& error) {
            return finish(error.clone());
        }
        progress_->setTotalUnitCount(static_cast<std::int64_t>(state_.size));
        eTags_.assign(ranges_.size(), std::nullopt);

        if (options_.journal == Uploader::Journal::groupContainer) {
            if (const auto container = Platform::ApplicationGroupContainer::containerURL(appGroupIdentifier)) {
                journal_ = detail::UploadJournal::open(*container / "Uploads" / "uploads.sqlite");
            }
        }
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(file_, ignored);
        key_ = {.path = absolute.empty() ? file_.string() : absolute.lexically_normal().string(),
                .family = isNewFile() ? 0 : 1,
                .target = destination_.identifier,
                .name = destination_.name};
        if (journal_) {
            if (auto entry = journal_->find(key_, ranges_.size())) {
                if (entry->size == state_.size && entry->mtime == state_.mtime && entry->partSize == partSize_) {
                    return resume(std::move(*entry));
                }
                // The file changed since: its stored parts are of no use.
                uploaderLogger().notice("Upload of %{public}s starts over: the file changed", key_.path);
                sendAbort(entry->s3Key, [](bool) {});
                journal_->remove(entry->id);
            }
        }
        open();
    }

    void resume(detail::JournalEntry entry) {
        std::int64_t stored = 0;
        {
            std::lock_guard lock(mutex_);
            s3Key_ = std::move(entry.s3Key);
            journalID_ = entry.id;
            eTags_ = std::move(entry.eTags);
            for (std::size_t i = 0; i < ranges_.size(); ++i) {
                if (eTags_[i]) {
                    stored += ranges_[i].count();
                } else {
                    pending_.push_back(i);
                }
            }
            storedBytes_ = stored;
        }
        uploaderLogger().info("Upload of %{public}s resumes with %{public}lu of %{public}lu parts stored", key_.path,
                              static_cast<unsigned long>(ranges_.size() - pending_.size()),
                              static_cast<unsigned long>(ranges_.size()));
        progress_->setCompletedUnitCount(stored);
        pump();
    }

    void open() {
        if (stopped()) return pump();
        auto opened = [self = shared_from_this()](Platform::Result<MultiPartUpload> answer) {
            self->opened(std::move(answer));
        };
        if (isNewFile()) {
            auto body = WebService::CreateMultiPartUploadParameter::bodyData(destination_.identifier);
            if (!body) return finish(body.error());
            connection_.makeAPICall(WebService::CreateMultiPartUploadParameter(), std::move(body).value(), false,
                                    std::move(opened));
        } else {
            auto body = WebService::CreateMultiPartUploadForModificationParameter::bodyData(destination_.identifier);
            if (!body) return finish(body.error());
            connection_.makeAPICall(WebService::CreateMultiPartUploadForModificationParameter(),
                                    std::move(body).value(), false, std::move(opened));
        }
    }

    void opened(Platform::Result<MultiPartUpload> answer) {
        if (!answer) return finish(answer.error());
        {
            std::lock_guard lock(mutex_);
            s3Key_ = std::move(answer).value().s3key;
            for (std::size_t i = 0; i < ranges_.size(); ++i) pending_.push_back(i);
        }
        if (journal_) {
            detail::JournalEntry entry{
                .s3Key = s3Key_, .size = state_.size, .mtime = state_.mtime, .partSize = partSize_, .eTags = {}};
            journalID_ = journal_->begin(key_, entry);
        }
        pump();
    }

    bool stopped() {
        std::lock_guard lock(mutex_);
        return failure_ != nullptr;
    }

    // Starts parts while there is room; ends the upload once nothing is under way.
    void pump() {
        std::vector<std::size_t> launch;
        bool ended = false;
        {
            std::lock_guard lock(mutex_);
            while (!failure_ && inFlight_ < options_.concurrentParts && !pending_.empty()) {
                launch.push_back(pending_.front());
                pending_.pop_front();
                ++inFlight_;
            }
            if (inFlight_ == 0 && (failure_ || pending_.empty()) && !ending_) {
                ending_ = true;
                ended = true;
            }
        }
        for (const auto index : launch) presign(index, 1);
        if (!ended) return;
        if (stopped()) return abandon();
        complete();
    }

    void presign(std::size_t index, int attempt) {
        auto presigned = [self = shared_from_this(), index, attempt](Platform::Result<PresignedURL> answer) {
            self->presigned(index, attempt, std::move(answer));
        };
        const std::uint64_t partNumber = index + 1;
        if (isNewFile()) {
            connection_.makeAPICall(WebService::PresignedURLParameter(encodedIdentifier_, encoded(s3Key_), partNumber),
                                    std::nullopt, false, std::move(presigned));
        } else {
            connection_.makeAPICall(
                WebService::PresignedURLForModificationParameter(encodedIdentifier_, encoded(s3Key_), partNumber),
                std::nullopt, false, std::move(presigned));
        }
    }

    void presigned(std::size_t index, int attempt, Platform::Result<PresignedURL> answer) {
        if (stopped()) return release();
        if (!answer) return partFailed(index, attempt, answer.error(), std::nullopt);
        const auto url = Platform::URL::parse(answer.value().url);
        if (!url) return partFailed(index, attempt, CloudianError::presignedURLNotFound().clone(), std::nullopt);
        const auto& range = ranges_[index];
        // The body is read from the file again as it goes out: a pass more over the page
        // cache, instead of a part-sized buffer per part in flight.
        const auto digest = md5(fd_->get(), range);
        if (!digest) {
            return partFailed(index, attempt, failure(MultiPartUploadError::Code::fileUnreadable, file_.string()),
                              std::nullopt);
        }
        const auto count = range.count();
        Platform::URLRequest request{.url = *url, .timeoutInterval = options_.partTimeoutInterval};
        request.httpMethod = "PUT";
        request.setValue(base64(*digest), "Content-MD5");
        // Without it libcurl labels the body a form, which storages may refuse or parse.
        request.setValue("application/octet-stream", "Content-Type");
        uploaderLogger().debug("🌐 PUT %{public}s (part %{public}lu, try %{public}d)", shortAddress(*url),
                               static_cast<unsigned long>(index + 1), attempt);
        const Platform::URLSession::UploadSource source{
            .file = fd_, .offset = static_cast<std::uint64_t>(range.lowerBound), .length = static_cast<std::uint64_t>(count)};
        auto transfer = connection_.uploadSession().uploadTask(
            std::move(request), source,
            [self = shared_from_this(), index, attempt, count, sum = hex(*digest)](Platform::URLSession::DataResult result) {
                self->transferred(index, attempt, count, sum, std::move(result));
            });
        bool cancel = false;
        {
            std::lock_guard lock(mutex_);
            if (!transfer->isFinished()) transfers_[index] = transfer;
            cancel = failure_ != nullptr;
        }
        if (cancel) transfer->cancel();
    }

    void transferred(std::size_t index, int attempt, std::int64_t count, const std::string& sum,
                     Platform::URLSession::DataResult result) {
        {
            std::lock_guard lock(mutex_);
            transfers_.erase(index);
        }
        if (stopped()) return release();
        if (!result) return partFailed(index, attempt, result.error(), std::nullopt);
        const auto& [body, response] = result.value();
        const long status = response.statusCode;
        if (status < 200 || status > 299) {
            const auto code = statusOf(status);
            ErrorPtr error = code ? CloudianError::httpError(*code, storageErrorText(body)).clone()
                                  : CloudianError::unexpected().clone();
            std::optional<double> retryAfter;
            if (const auto value = response.value("Retry-After")) {
                retryAfter = detail::retryAfterSeconds(*value, Platform::Date::now());
            }
            return partFailed(index, attempt, std::move(error), retryAfter);
        }
        const auto tag = response.value("ETag");
        if (!tag || tag->empty() || tag->size() > detail::UploadJournal::maximumTextSize) {
            return partFailed(index, attempt, CloudianError::httpUnexpectedHeader().clone(), std::nullopt);
        }
        if (const auto stored = plainMD5(*tag); stored && *stored != sum) {
            uploaderLogger().error("Part %{public}lu of %{public}s: the storage holds MD5 %{public}s, %{public}s was sent",
                                   static_cast<unsigned long>(index + 1), key_.path, *stored, sum);
            return partFailed(index, attempt,
                              failure(MultiPartUploadError::Code::checksumMismatch, std::to_string(index + 1)),
                              std::nullopt);
        }
        std::optional<std::int64_t> journalID;
        {
            std::lock_guard lock(mutex_);
            eTags_[index] = *tag;
            storedBytes_ += count;
            // Under the lock: two parts ending at once must not write their sums out of order.
            progress_->setCompletedUnitCount(storedBytes_);
            journalID = journalID_;
            --inFlight_;
        }
        // Before the next part starts, so a crash never loses a stored part's tag.
        if (journal_ && journalID) journal_->recordPart(*journalID, index, *tag);
        pump();
    }

    void partFailed(std::size_t index, int attempt, ErrorPtr error, std::optional<double> retryAfter) {
        if (attempt >= options_.retry.maximumAttempts || !isTransient(*error)) return stop(std::move(error), true);
        const double delay = detail::retryDelay(options_.retry, attempt, retryAfter, uniformRandom());
        uploaderLogger().notice("Part %{public}lu of %{public}s fails (%{public}s); try %{public}d in %{public}.3f s",
                                static_cast<unsigned long>(index + 1), key_.path, std::string(error->what()),
                                attempt + 1, delay);
        std::lock_guard lock(mutex_);
        if (failure_) {
            --inFlight_;
            Platform::ConcurrentPool::post([self = shared_from_this()] { self->pump(); });
            return;
        }
        const auto token = detail::DelayedTasks::shared().schedule(
            std::chrono::duration_cast<detail::DelayedTasks::Clock::duration>(std::chrono::duration<double>(delay)),
            [self = shared_from_this(), index, attempt] { self->retry(index, attempt + 1); });
        timers_[index] = token;
    }

    void retry(std::size_t index, int attempt) {
        {
            std::lock_guard lock(mutex_);
            timers_.erase(index);
        }
        if (stopped()) return release();
        presign(index, attempt);
    }

    // A part ended without being stored, after the upload stopped.
    void release() {
        {
            std::lock_guard lock(mutex_);
            --inFlight_;
        }
        pump();
    }

    // The upload cannot finish: remembers the first reason and stops the parts under way.
    // `fromPart`: called for a part that held a slot, which it gives back.
    void stop(ErrorPtr error, bool fromPart = false) {
        std::vector<std::shared_ptr<Platform::Progress>> transfers;
        std::vector<detail::DelayedTasks::Token> timers;
        {
            std::lock_guard lock(mutex_);
            if (fromPart) --inFlight_;
            if (!failure_) failure_ = std::move(error);
            for (const auto& [index, transfer] : transfers_) transfers.push_back(transfer);
            for (const auto& [index, token] : timers_) timers.push_back(token);
        }
        for (const auto& transfer : transfers) transfer->cancel();
        for (const auto token : timers) detail::DelayedTasks::shared().runNow(token);
        if (fromPart) pump();
    }

    void complete() {
        const auto now = fd_ && *fd_ ? fileState(fd_->get()) : std::nullopt;
        if (!now || *now != state_) {
            std::lock_guard lock(mutex_);
            failure_ = failure(MultiPartUploadError::Code::fileChanged, file_.string());
        }
        if (stopped()) return abandon();
        std::vector<std::string> tags;
        tags.reserve(eTags_.size());
        for (const auto& tag : eTags_) tags.push_back(tag.value_or(std::string()));
        const std::optional<Platform::Date> mtime = Platform::Date{state_.mtime};
        auto completed = [self = shared_from_this()](Platform::Result<TarnItem> answer) {
            self->completed(std::move(answer));
        };
        auto body = isNewFile() ? WebService::CompleteMultiPartUploadParameter::bodyData(
                                      destination_.identifier, s3Key_, tags, destination_.name, mtime)
                                : WebService::CompleteMultiPartUploadForModificationParameter::bodyData(
                                      destination_.identifier, s3Key_, tags, mtime);
        if (!body) {
            {
                std::lock_guard lock(mutex_);
                failure_ = body.error();
            }
            return abandon();
        }
        if (isNewFile()) {
            connection_.makeAPICall(WebService::CompleteMultiPartUploadParameter(), std::move(body).value(), false,
                                    std::move(completed));
        } else {
            connection_.makeAPICall(WebService::CompleteMultiPartUploadForModificationParameter(),
                                    std::move(body).value(), false, std::move(completed));
        }
    }

    void completed(Platform::Result<TarnItem> answer) {
        // Once the service made the item, a late cancel changes nothing.
        if (answer) {
            if (journal_ && journalID_) journal_->remove(*journalID_);
            return finish(std::move(answer));
        }
        {
            std::lock_guard lock(mutex_);
            failure_ = answer.error();
        }
        abandon();
    }

    // Closes the upload on the service, so the storage keeps no parts of it.
    void abandon() {
        if (s3Key_.empty()) return finish(failureCopy());
        sendAbort(s3Key_, [self = shared_from_this()](bool aborted) {
            // An upload that could not be closed stays journalled, so uploading the file
            // again takes it up.
            if (aborted && self->journal_ && self->journalID_) self->journal_->remove(*self->journalID_);
            self->finish(self->failureCopy());
        });
    }

    void sendAbort(const std::string& s3Key, std::function<void(bool)> done) {
        auto answered = [done = std::move(done), line = key_.path](Platform::Result<WebService::EmptyReturnType> answer) {
            if (!answer) uploaderLogger().error("Abort of the upload of %{public}s failed: %{public}s", line,
                                                std::string(answer.error()->what()));
            done(static_cast<bool>(answer));
        };
        if (isNewFile()) {
            connection_.makeAPICall(WebService::AbortMultiPartUploadParameter(encodedIdentifier_, encoded(s3Key)),
                                    std::nullopt, false, std::move(answered));
        } else {
            connection_.makeAPICall(
                WebService::AbortMultiPartUploadForModificationParameter(encodedIdentifier_, encoded(s3Key)),
                std::nullopt, false, std::move(answered));
        }
    }

    ErrorPtr failureCopy() {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    static ErrorPtr failure(MultiPartUploadError::Code code, std::string detail) {
        return std::make_shared<MultiPartUploadError>(code, std::move(detail));
    }

    void finish(Platform::Result<TarnItem> result) {
        if (!result) {
            uploaderLogger().error("Upload of %{public}s failed: %{public}s", file_.string(),
                                   std::string(result.error()->what()));
        }
        progress_->finish();
        completion_(std::move(result));
    }

    const WebConnection connection_;
    Uploader::Options options_;
    const UploadDestination destination_;
    const std::filesystem::path file_;
    const Completion completion_;
    const std::string encodedIdentifier_;
    const std::shared_ptr<Platform::Progress> progress_ = std::make_shared<Platform::Progress>();

    // Set before the parts start, read-only afterwards.
    // Shared with the part transfers, which read their bodies from it.
    std::shared_ptr<const FileDescriptor> fd_;
    FileState state_;
    std::uint64_t partSize_ = 0;
    std::vector<PartRange> ranges_;
    std::shared_ptr<detail::UploadJournal> journal_;
    detail::JournalKey key_;
    std::string s3Key_;
    std::optional<std::int64_t> journalID_;

    std::mutex mutex_;
    std::vector<std::optional<std::string>> eTags_;
    std::deque<std::size_t> pending_;
    int inFlight_ = 0;
    std::int64_t storedBytes_ = 0;
    ErrorPtr failure_;
    bool ending_ = false;
    std::map<std::size_t, std::shared_ptr<Platform::Progress>> transfers_;
    std::map<std::size_t, detail::DelayedTasks::Token> timers_;
};

}  // namespace

Uploader::Uploader(WebConnection connection) : Uploader(std::move(connection), Options{}) {}

Uploader::Uploader(WebConnection connection, Options options)
    : connection_(std::move(connection)), options_(std::move(options)) {}

std::uint64_t Uploader::partSize(std::uint64_t size, const Options& options) noexcept {
    std::uint64_t part = std::max({options.partSize, options.minimumPartSize, std::uint64_t{1}});
    const std::uint64_t count = std::max<std::uint64_t>(options.maximumPartCount, 1);
    // The smallest size that keeps the file within `count` parts.
    return std::max(part, size / count + (size % count != 0 ? 1 : 0));
}

std::shared_ptr<Platform::Progress> Uploader::upload(const std::filesystem::path& file,
                                                     const UploadDestination& destination,
                                                     std::function<void(Platform::Result<TarnItem>)> completion) const {
    auto job = std::make_shared<UploadJob>(connection_, options_, destination, file, std::move(completion));
    job->begin();
    return job->progress();
}

std::future<TarnItem> Uploader::upload(const std::filesystem::path& file, const UploadDestination& destination) const {
    auto promise = std::make_shared<std::promise<TarnItem>>();
    auto future = promise->get_future();
    upload(file, destination, [promise](Platform::Result<TarnItem> result) { Platform::fulfil(*promise, std::move(result)); });
    return future;
}

}  // namespace Common

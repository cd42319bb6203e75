#include "Platform/http/internal/FileBodySource.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <system_error>

#include "Platform/files/FileError.h"

namespace Platform::detail {

std::optional<std::string> FileBodySource::invalidReason() const {
    if (!file_ || !*file_) return "the body's file is not open";
    // pread takes a signed offset.
    constexpr auto maximum = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset_ > maximum || length_ > maximum - offset_) return "the body's range lies past the largest file offset";
    return std::nullopt;
}

CURLcode FileBodySource::attach(CURL* easy) {
    position_ = 0;
    failure_.reset();
    CURLcode first = curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length_));
    for (const CURLcode code : {curl_easy_setopt(easy, CURLOPT_READFUNCTION, &FileBodySource::onRead),
                                curl_easy_setopt(easy, CURLOPT_READDATA, static_cast<void*>(this)),
                                curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &FileBodySource::onSeek),
                                curl_easy_setopt(easy, CURLOPT_SEEKDATA, static_cast<void*>(this))}) {
        if (first == CURLE_OK) first = code;
    }
    return first;
}

std::size_t FileBodySource::onRead(char* buffer, std::size_t size, std::size_t count, void* self) {
    return static_cast<FileBodySource*>(self)->read(buffer, size * count);
}

std::size_t FileBodySource::read(char* buffer, std::size_t capacity) {
    const std::uint64_t wanted = std::min<std::uint64_t>(capacity, length_ - position_);
    if (wanted == 0) return 0;
    ssize_t n = -1;
    do {
        n = ::pread(file_->get(), buffer, static_cast<std::size_t>(wanted), static_cast<off_t>(offset_ + position_));
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    if (n <= 0) {
        // Ending early would leave the server waiting for bytes the length promised.
        failure_ = std::make_shared<FileError>(
            FileError::Code::fileReadUnknown,
            FileError::UserInfo{{"reason", n < 0 ? std::generic_category().message(error)
                                                 : "the file ended " + std::to_string(length_ - position_) +
                                                       " bytes before the body did"}});
        return CURL_READFUNC_ABORT;
    }
    position_ += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n);
}

int FileBodySource::onSeek(void* self, curl_off_t offset, int origin) {
    auto& source = *static_cast<FileBodySource*>(self);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::uint64_t>(offset) > source.length_) {
        return CURL_SEEKFUNC_FAIL;
    }
    source.position_ = static_cast<std::uint64_t>(offset);
    return CURL_SEEKFUNC_OK;
}

}  // namespace Platform::detail

#include "Platform/http/internal/FileBodySink.h"

#include <fcntl.h>

#include <cerrno>

#include "Platform/files/FileError.h"
#include "Platform/http/URLError.h"

namespace Platform::detail {

ErrorPtr FileBodySink::open() {
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd_) return std::make_shared<FileError>(FileError::fromWriteErrno(errno, path_));
    return nullptr;
}

bool FileBodySink::fail(ErrorPtr error) {
    if (!failure_) failure_ = std::move(error);
    return false;
}

void FileBodySink::begin(std::optional<std::uint64_t> expectedLength) {
    length_ = 0;
    if (!fd_ || failure_) return;
    if (::ftruncate(fd_.get(), 0) != 0 || ::lseek(fd_.get(), 0, SEEK_SET) != 0) {
        fail(std::make_shared<FileError>(FileError::fromWriteErrno(errno, path_)));
        return;
    }
    if (maximumSize_ && expectedLength && *expectedLength > *maximumSize_) {
        fail(std::make_shared<URLError>(URLError::Code::dataLengthExceedsMaximum, std::nullopt, 0,
                                        "Content-Length " + std::to_string(*expectedLength) +
                                            " is more than the maximum of " + std::to_string(*maximumSize_) + " bytes"));
    }
}

bool FileBodySink::write(const char* bytes, std::size_t size) {
    if (failure_) return false;
    if (!fd_) return fail(std::make_shared<FileError>(FileError::Code::fileWriteUnknown, FileError::UserInfo{{"path", path_}}));
    if (maximumSize_ && size > *maximumSize_ - length_) {
        return fail(std::make_shared<URLError>(URLError::Code::dataLengthExceedsMaximum, std::nullopt, 0,
                                               "the body is longer than the maximum of " +
                                                   std::to_string(*maximumSize_) + " bytes"));
    }
    while (size > 0) {
        const ssize_t written = ::write(fd_.get(), bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail(std::make_shared<FileError>(FileError::fromWriteErrno(errno, path_)));
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        length_ += static_cast<std::uint64_t>(written);
    }
    return true;
}

ErrorPtr FileBodySink::close() {
    if (fd_ && ::close(fd_.release()) != 0 && !failure_) {
        failure_ = std::make_shared<FileError>(FileError::fromWriteErrno(errno, path_));
    }
    return failure_;
}

}  // namespace Platform::detail

#include "Platform/files/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "Platform/core/FileDescriptor.h"
#include "Platform/files/FileError.h"

namespace Platform {

namespace {
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) FileError::fromErrno(errno, path.string()).raise();

    const auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        FileError::fromErrno(error, path.string()).raise();
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        written += static_cast<std::size_t>(n);
    }
    // The rename must not land before the bytes do.
    if (::fsync(fd.get()) != 0) fail(errno);
    if (::close(fd.release()) != 0) fail(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace Platform

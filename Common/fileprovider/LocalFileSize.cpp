#include "Common/fileprovider/LocalFileSize.h"

#include <sys/stat.h>

#include <cerrno>

#include "Common/connection/CommonError.h"
#include "Platform/files/FileError.h"
#include "Platform/files/FileURL.h"

namespace Common {

using Platform::FileError;

std::uint64_t fileSize(const Platform::URL& fileURL) {
    if (fileURL.scheme() != "file") {
        throw FileError(FileError::Code::fileReadUnsupportedScheme, {{"url", fileURL.absoluteString()}});
    }
    const auto path = Platform::filePath(fileURL);
    if (!path) throw FileError(FileError::Code::fileReadInvalidFileName, {{"url", fileURL.absoluteString()}});

    struct stat info{};
    if (::stat(path->c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) throw FileError(FileError::Code::fileNoSuchFile);
        throw FileError::fromErrno(error, path->string());
    }
    // Callers upload what they measure: a folder has no size worth sending.
    if (S_ISDIR(info.st_mode)) throw FileError(FileError::Code::fileNoSuchFile);
    if (info.st_size < 0) throw CommonError::unexpected();
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::uint64_t> sizeOfFile(const std::filesystem::path& path) noexcept {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return info.st_size < 0 ? 0 : static_cast<std::uint64_t>(info.st_size);
}

}  // namespace Common

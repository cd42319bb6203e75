#include "Platform/files/FileError.h"

#include <cerrno>
#include <system_error>

namespace Platform {

FileError FileError::fromErrno(int errorNumber, const std::string& path) {
    Code code = Code::fileReadUnknown;
    switch (errorNumber) {
        case ENOENT:
        case ENOTDIR: code = Code::fileNoSuchFile; break;
        case EACCES:
        case EPERM: code = Code::fileReadNoPermission; break;
        case ENAMETOOLONG:
        case EILSEQ: code = Code::fileReadInvalidFileName; break;
        default: break;
    }
    return FileError(code, {{"path", path}, {"reason", std::generic_category().message(errorNumber)}});
}

FileError FileError::fromWriteErrno(int errorNumber, const std::string& path) {
    Code code = Code::fileWriteUnknown;
    switch (errorNumber) {
        case ENOSPC:
        case EDQUOT: code = Code::fileWriteOutOfSpace; break;
        case EACCES:
        case EPERM:
        case EROFS: code = Code::fileWriteNoPermission; break;
        case ENOENT:
        case ENOTDIR: code = Code::fileNoSuchFile; break;
        case ENAMETOOLONG:
        case EILSEQ: code = Code::fileReadInvalidFileName; break;
        default: break;
    }
    return FileError(code, {{"path", path}, {"reason", std::generic_category().message(errorNumber)}});
}

const char* FileError::name(Code code) noexcept {
    switch (code) {
        case Code::fileWriteOutOfSpace: return "fileWriteOutOfSpace";
        case Code::fileWriteNoPermission: return "fileWriteNoPermission";
        case Code::fileWriteUnknown: return "fileWriteUnknown";
        case Code::fileNoSuchFile: return "fileNoSuchFile";
        case Code::fileReadNoPermission: return "fileReadNoPermission";
        case Code::fileReadInvalidFileName: return "fileReadInvalidFileName";
        case Code::fileReadUnsupportedScheme: return "fileReadUnsupportedScheme";
        case Code::fileReadUnknown: break;
    }
    return "fileReadUnknown";
}

std::optional<std::string> FileError::errorDescription() const {
    switch (code_) {
        case Code::fileNoSuchFile: return "The file doesn't exist.";
        case Code::fileReadNoPermission: return "You don't have permission to view the file.";
        case Code::fileReadInvalidFileName: return "The file name is invalid.";
        case Code::fileReadUnsupportedScheme: return "The file cannot be read because its URL type isn't supported.";
        case Code::fileWriteOutOfSpace: return "The file couldn't be saved because there isn't enough space.";
        case Code::fileWriteNoPermission: return "You don't have permission to save the file.";
        case Code::fileWriteUnknown: return "The file couldn't be saved.";
        case Code::fileReadUnknown: break;
    }
    return "The file couldn't be read.";
}

std::optional<std::string> FileError::failureReason() const {
    const auto path = userInfo_.find("path");
    const auto reason = userInfo_.find("reason");
    if (path == userInfo_.end() && reason == userInfo_.end()) return std::nullopt;
    std::string text;
    if (path != userInfo_.end()) text = path->second;
    if (reason != userInfo_.end()) text += (text.empty() ? "" : ": ") + reason->second;
    return text;
}

}  // namespace Platform

#pragma once

#include <map>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why a file operation failed. The user information carries context (for instance
// "path" and "reason") when the failing call had any; errors built by name carry none.
class QUILLO_EXPORT FileError : public ErrorType<FileError> {
public:
    enum class Code {
        fileNoSuchFile,               // nothing usable at the path
        fileReadNoPermission,         // the path or one of its folders may not be read
        fileReadInvalidFileName,      // the path cannot name a file (bad escapes, NUL)
        fileReadUnsupportedScheme,    // the URL is not a file URL
        fileReadUnknown,              // any other failure; "reason" holds the system's text
        fileWriteOutOfSpace,          // the disk or the user's quota is full
        fileWriteNoPermission,        // the file or its folder may not be written
        fileWriteUnknown,             // any other failure to write; "reason" holds the system's text
    };

    using UserInfo = std::map<std::string, std::string>;

    explicit FileError(Code code, UserInfo userInfo = {}) : code_(code), userInfo_(std::move(userInfo)) {}

    // The error for a failed system call on `path`, from its errno value.
    static FileError fromErrno(int errorNumber, const std::string& path);
    // The same for a failed write, create or rename.
    static FileError fromWriteErrno(int errorNumber, const std::string& path);

    Code code() const noexcept { return code_; }
    const UserInfo& userInfo() const noexcept { return userInfo_; }

    // The code's name, e.g. "fileNoSuchFile", for log lines.
    static const char* name(Code code) noexcept;

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override;

    friend bool operator==(const FileError& a, const FileError& b) {
        return a.code_ == b.code_ && a.userInfo_ == b.userInfo_;
    }

private:
    Code code_;
    UserInfo userInfo_;
};

}  // namespace Platform

#pragma once

#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why the file-provider manager could not answer or record a lookup.
class QUILLO_EXPORT FileProviderError : public ErrorType<FileProviderError> {
public:
    enum class Code {
        noSuchItem,         // the identifier or URL is not in the domain's table
        domainNotFound,     // no domain answers for that name or URL
        invalidArgument,    // an identifier or relative path the table cannot hold
        filenameCollision,  // another identifier already holds that path
        cannotSynchronize,  // the domain's table could not be read or written
    };

    // `detail` names what was asked for or what went wrong underneath.
    explicit FileProviderError(Code code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}

    Code code() const noexcept { return code_; }
    const std::string& detail() const noexcept { return detail_; }

    // The code's name, e.g. "noSuchItem", for log lines.
    static const char* name(Code code) noexcept;

    // E.g. "The file couldn't be found. (identifier 42)"
    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const FileProviderError& a, const FileProviderError& b) {
        return a.code_ == b.code_ && a.detail_ == b.detail_;
    }

private:
    Code code_;
    std::string detail_;
};

}  // namespace Platform

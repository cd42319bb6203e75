#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why an object graph could not be archived or read back.
class QUILLO_EXPORT ArchiveError : public ErrorType<ArchiveError> {
public:
    enum class Kind {
        corruptData,               // not an archive, or one damaged beyond reading
        unknownClass,              // a class name no type answers to
        classNotAllowed,           // a known class, but not one the caller accepts
        valueOfWrongClass,         // a key holds another kind of value than asked for
        secureCodingNotSupported,  // secure coding asked of a class that does not support it
        unencodableValue,          // a value the archive format cannot hold
    };

    ArchiveError(Kind kind, std::string debugDescription)
        : kind_(kind), debugDescription_(std::move(debugDescription)) {}

    Kind kind() const noexcept { return kind_; }
    // What went wrong and where, e.g. "value for key 'root.child.name' is not of the expected class".
    const std::string& debugDescription() const noexcept { return debugDescription_; }
    // unknownClass or classNotAllowed.
    bool isClassError() const noexcept { return kind_ == Kind::unknownClass || kind_ == Kind::classNotAllowed; }

    std::optional<std::string> errorDescription() const override { return debugDescription_; }
    std::optional<std::string> failureReason() const override;

private:
    Kind kind_;
    std::string debugDescription_;
};

}  // namespace Platform

#pragma once

#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Platform {

// Why a suite's user defaults could not be opened, read or written.
class QUILLO_EXPORT UserDefaultsError : public ErrorType<UserDefaultsError> {
public:
    enum class Kind {
        invalidSuiteName,  // empty, ".", "..", or holding '/' or NUL
        cannotOpen,        // container, folder or file unusable, or an unknown store format
        corruptStore,      // the file exists but is not an intact database; it is left as it is
        invalidValue,      // a value the store cannot keep (a NaN number or date)
        storeFailure,      // a read or write failed after opening (I/O, a full disk)
        busy,              // another process held the file longer than the store waits
    };

    UserDefaultsError(Kind kind, std::string suiteName, std::string detail)
        : kind_(kind), suiteName_(std::move(suiteName)), detail_(std::move(detail)) {}

    Kind kind() const noexcept { return kind_; }
    const std::string& suiteName() const noexcept { return suiteName_; }
    const std::string& detail() const noexcept { return detail_; }

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override { return detail_; }

private:
    Kind kind_;
    std::string suiteName_;
    std::string detail_;
};

}  // namespace Platform

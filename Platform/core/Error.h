#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// Root of every error the library throws or reports. The four texts follow the
// localized-error convention: absent unless a subclass says otherwise.
class QUILLO_EXPORT Error : public std::exception {
public:
    Error() = default;
    Error(const Error&) : std::exception() {}
    Error& operator=(const Error&) { return *this; }
    ~Error() override = default;

    virtual std::optional<std::string> errorDescription() const { return std::nullopt; }
    virtual std::optional<std::string> failureReason() const { return std::nullopt; }
    virtual std::optional<std::string> recoverySuggestion() const { return std::nullopt; }
    virtual std::optional<std::string> helpAnchor() const { return std::nullopt; }

    // The error description, or the type's name when there is none.
    const char* what() const noexcept override;

    // Throws this error as its most derived type.
    [[noreturn]] virtual void raise() const = 0;
    // A shared copy of this error as its most derived type.
    virtual std::shared_ptr<const Error> clone() const = 0;

private:
    // Filled on first use; copies start empty so they never share it.
    mutable std::shared_ptr<const std::string> what_;
};

using ErrorPtr = std::shared_ptr<const Error>;

// Base of every concrete error type: supplies `raise` and `clone` for `Derived`.
//   class CommonError : public Platform::ErrorType<CommonError> { ... };
template <class Derived, class Base = Error>
class QUILLO_EXPORT ErrorType : public Base {
public:
    using Base::Base;
    [[noreturn]] void raise() const override { throw static_cast<const Derived&>(*this); }
    ErrorPtr clone() const override { return std::make_shared<const Derived>(static_cast<const Derived&>(*this)); }
};

}  // namespace Platform

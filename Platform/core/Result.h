#pragma once

#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "Platform/core/Error.h"

namespace Platform {

namespace detail {

// A failure without an error would read as success (void) or crash on first look
// (value), far from the code that built it; refuse it where it is built.
inline ErrorPtr requireError(ErrorPtr error) {
    if (!error) throw std::invalid_argument("Result built from a null error");
    return error;
}

}  // namespace detail

// What a completion receives: the value, or the error as a shared pointer that the
// caller inspects by type (`error<RailsError>()`). The error is never null.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
    // Throws std::invalid_argument for a null error.
    Result(ErrorPtr error) : storage_(std::in_place_index<1>, detail::requireError(std::move(error))) {}

    template <class E, class = std::enable_if_t<std::is_base_of_v<Error, std::decay_t<E>>>>
    static Result failure(E&& error) {
        return Result(ErrorPtr(std::make_shared<std::decay_t<E>>(std::forward<E>(error))));
    }

    bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    // The value; throws the stored error when there is none.
    const T& value() const& {
        rethrowIfError();
        return std::get<0>(storage_);
    }
    T&& value() && {
        rethrowIfError();
        return std::get<0>(std::move(storage_));
    }

    // The error, or null when the result holds a value.
    const ErrorPtr& error() const noexcept {
        static const ErrorPtr none;
        return hasValue() ? none : std::get<1>(storage_);
    }

    // The error as E, or null when it is none or another type.
    template <class E>
    const E* error() const noexcept {
        return hasValue() ? nullptr : dynamic_cast<const E*>(std::get<1>(storage_).get());
    }

    // Throws the stored error as its own type, so `catch (const RailsError&)` works.
    void rethrowIfError() const;

private:
    std::variant<T, ErrorPtr> storage_;
};

// Success is `Result<void>()`; an explicit error must be one.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    // Throws std::invalid_argument for a null error.
    Result(ErrorPtr error) : error_(detail::requireError(std::move(error))) {}

    template <class E, class = std::enable_if_t<std::is_base_of_v<Error, std::decay_t<E>>>>
    static Result failure(E&& error) {
        return Result(ErrorPtr(std::make_shared<std::decay_t<E>>(std::forward<E>(error))));
    }

    bool hasValue() const noexcept { return error_ == nullptr; }
    explicit operator bool() const noexcept { return hasValue(); }
    void value() const { rethrowIfError(); }
    const ErrorPtr& error() const noexcept { return error_; }
    template <class E>
    const E* error() const noexcept {
        return dynamic_cast<const E*>(error_.get());
    }
    void rethrowIfError() const;

private:
    ErrorPtr error_;
};

template <class T>
void Result<T>::rethrowIfError() const {
    if (!hasValue()) std::get<1>(storage_)->raise();
}

inline void Result<void>::rethrowIfError() const {
    if (error_) error_->raise();
}

}  // namespace Platform

#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Failures of the keychain store. Every failing keychain status is keyNotFound; the
// status itself travels along (status(), failureReason()) but does not change the case.
class QUILLO_EXPORT KeychainError : public Platform::ErrorType<KeychainError> {
public:
    enum class Case { keyNotFound, passwordNotFound, credentialNotFound };

    static KeychainError keyNotFound() { return KeychainError(Case::keyNotFound); }
    // The keychain answered `status` (errSecItemNotFound when nothing is stored, errSecIO
    // when the store could not be read...).
    static KeychainError keyNotFound(std::int32_t status) { return KeychainError(Case::keyNotFound, status); }
    static KeychainError passwordNotFound() { return KeychainError(Case::passwordNotFound); }
    static KeychainError credentialNotFound() { return KeychainError(Case::credentialNotFound); }

    Case kind() const noexcept { return case_; }
    const std::optional<std::int32_t>& status() const noexcept { return status_; }
    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override;

    friend bool operator==(const KeychainError& a, const KeychainError& b) { return a.case_ == b.case_; }

private:
    explicit KeychainError(Case c, std::optional<std::int32_t> status = std::nullopt) : case_(c), status_(status) {}
    Case case_;
    std::optional<std::int32_t> status_;
};

}  // namespace Common

template <>
struct std::hash<Common::KeychainError> {
    std::size_t operator()(const Common::KeychainError& e) const noexcept { return static_cast<std::size_t>(e.kind()); }
};

#pragma once

#include <functional>

#include "Platform/core/Error.h"
#include "Platform/core/Export.h"

namespace Common {

// Failures of the keychain store.
class QUILLO_EXPORT KeychainError : public Platform::ErrorType<KeychainError> {
public:
    enum class Case { keyNotFound, passwordNotFound, credentialNotFound };

    static KeychainError keyNotFound() { return KeychainError(Case::keyNotFound); }
    static KeychainError passwordNotFound() { return KeychainError(Case::passwordNotFound); }
    static KeychainError credentialNotFound() { return KeychainError(Case::credentialNotFound); }

    Case kind() const noexcept { return case_; }
    std::optional<std::string> errorDescription() const override;

    friend bool operator==(const KeychainError& a, const KeychainError& b) { return a.case_ == b.case_; }

private:
    explicit KeychainError(Case c) : case_(c) {}
    Case case_;
};

}  // namespace Common

template <>
struct std::hash<Common::KeychainError> {
    std::size_t operator()(const Common::KeychainError& e) const noexcept { return static_cast<std::size_t>(e.kind()); }
};

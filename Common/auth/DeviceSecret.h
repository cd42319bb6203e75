#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace Platform

namespace Common {

// A device registration: the opaque digest that identifies this device to one backend
// host for one user. Made by JSON decoding or unarchiving only.
class QUILLO_EXPORT DeviceSecret {
public:
    const std::string& digest() const noexcept { return digest_; }
    const std::optional<std::string>& email() const noexcept { return email_; }
    const std::string& host() const noexcept { return host_; }
    const std::string& login() const noexcept { return login_; }

    // "<DeviceSecret :{ digest=…, host=…, login=…, email=…}>", for log lines.
    std::string description() const;

    static DeviceSecret decode(const Platform::KeyedDecoder& container);

    // Plain keyed archiving: the list of secrets is archived without secure coding.
    static constexpr const char* defaultArchiveClassName = "Common.DeviceSecret";
    static constexpr bool supportsSecureCoding = false;
    void encode(Platform::KeyedArchiver& coder) const;
    static std::shared_ptr<DeviceSecret> decode(Platform::KeyedUnarchiver& coder);

private:
    DeviceSecret() = default;

    std::string digest_;
    std::optional<std::string> email_;
    std::string host_;
    std::string login_;
};

// Same host and digest, and the same user by login or by e-mail present on both.
QUILLO_EXPORT bool operator==(const DeviceSecret& lhs, const DeviceSecret& rhs);

}  // namespace Common

#include "Common/auth/DeviceSecret.h"

#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

DeviceSecret DeviceSecret::decode(const Platform::KeyedDecoder& c) {
    DeviceSecret secret;
    secret.digest_ = c.decode<std::string>("digest");
    secret.email_ = c.decodeIfPresent<std::string>("email");
    secret.host_ = c.decode<std::string>("host");
    secret.login_ = c.decode<std::string>("login");
    return secret;
}

std::string DeviceSecret::description() const {
    return "<DeviceSecret :{ digest=" + digest_ + ", host=" + host_ + ", login=" + login_ +
           ", email=" + email_.value_or("nil") + "}>";
}

bool operator==(const DeviceSecret& lhs, const DeviceSecret& rhs) {
    if (&lhs == &rhs) return true;
    if (lhs.host() != rhs.host() || lhs.digest() != rhs.digest()) return false;
    return lhs.login() == rhs.login() || (lhs.email() && rhs.email() && *lhs.email() == *rhs.email());
}

}  // namespace Common

namespace Common {

void DeviceSecret::encode(Platform::KeyedArchiver& coder) const {
    coder.encode("digest", digest_);
    coder.encode("host", host_);
    coder.encode("login", login_);
    // No key at all without an e-mail address.
    if (email_) coder.encode("email", *email_);
}

std::shared_ptr<DeviceSecret> DeviceSecret::decode(Platform::KeyedUnarchiver& coder) {
    auto digest = coder.decodeString("digest");
    auto email = coder.decodeString("email");
    auto host = coder.decodeString("host");
    auto login = coder.decodeString("login");
    if (!digest || !host || !login) return nullptr;
    auto secret = std::shared_ptr<DeviceSecret>(new DeviceSecret);
    secret->digest_ = std::move(*digest);
    secret->email_ = std::move(email);
    secret->host_ = std::move(*host);
    secret->login_ = std::move(*login);
    return secret;
}

}  // namespace Common

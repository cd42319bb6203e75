#include "Common/auth/DeviceSecret.h"

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

#include "Common/auth/TarnUser.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnUser TarnUser::decode(const Platform::KeyedDecoder& c) {
    TarnUser user;
    user.id_ = c.decode<std::int64_t>("id");
    user.accountId_ = c.decode<std::int64_t>("accountId");
    user.login_ = c.decodeIfPresent<std::string>("login");
    user.name_ = c.decodeIfPresent<std::string>("name");
    user.role_ = c.decodeIfPresent<Role>("role");
    user.type_ = c.decodeIfPresent<UserType>("type");
    return user;
}

}  // namespace Common

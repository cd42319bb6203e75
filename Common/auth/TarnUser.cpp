#include "Common/auth/TarnUser.h"

#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/KeyedUnarchiver.h"
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

namespace Common {

namespace {

// The user's archive never fails on content: anything unreadable reads as absent.
template <class Read>
auto lenient(Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const Platform::ArchiveError&) {
        return std::nullopt;
    }
}

}  // namespace

void TarnUser::encode(Platform::KeyedArchiver& coder) const {
    coder.encode("id", id_);
    coder.encode("accountId", accountId_);
    coder.encode("login", login_);
    coder.encode("name", name_);
    coder.encode("role", role_ ? std::optional<std::string_view>(Platform::rawValue(*role_)) : std::nullopt);
    coder.encode("type", type_ ? std::optional<std::string_view>(Platform::rawValue(*type_)) : std::nullopt);
}

std::shared_ptr<TarnUser> TarnUser::decode(Platform::KeyedUnarchiver& coder) {
    auto user = std::shared_ptr<TarnUser>(new TarnUser);
    user->id_ = lenient([&] { return coder.decodeInt64("id"); }).value_or(0);
    user->accountId_ = lenient([&] { return coder.decodeInt64("accountId"); }).value_or(0);
    user->login_ = lenient([&] { return coder.decodeString("login"); });
    user->name_ = lenient([&] { return coder.decodeString("name"); });
    if (const auto role = lenient([&] { return coder.decodeString("role"); })) {
        user->role_ = Platform::fromRawValue<Role>(std::string_view(*role));
    }
    if (const auto type = lenient([&] { return coder.decodeString("type"); })) {
        user->type_ = Platform::fromRawValue<UserType>(std::string_view(*type));
    }
    return user;
}

}  // namespace Common

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Common/connection/APIParameter.h"
#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"

namespace Platform {
class KeyedDecoder;
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace Platform

namespace Common {

// The signed-in user. Also kept as an archive in the shared settings, so the
// file-provider process sees the same user.
class QUILLO_EXPORT TarnUser {
public:
    enum class Role { owner, general, visitor, partner };
    enum class UserType { user, owner };

    std::int64_t id() const noexcept { return id_; }
    std::int64_t accountId() const noexcept { return accountId_; }
    const std::optional<std::string>& login() const noexcept { return login_; }
    const std::optional<std::string>& name() const noexcept { return name_; }
    std::optional<Role> role() const noexcept { return role_; }
    std::optional<UserType> type() const noexcept { return type_; }

    bool isGuest() const noexcept { return role_ == Role::visitor; }
    bool isPartner() const noexcept { return role_ == Role::partner; }
    bool isVisitor() const noexcept { return role_ == Role::visitor || role_ == Role::partner; }

    static TarnUser decode(const Platform::KeyedDecoder& container);

    static constexpr const char* defaultArchiveClassName = "Common.TarnUser";
    static constexpr bool supportsSecureCoding = true;
    void encode(Platform::KeyedArchiver& coder) const;
    // Never fails on content: missing integers read as 0, unknown role or type as absent.
    static std::shared_ptr<TarnUser> decode(Platform::KeyedUnarchiver& coder);

    bool operator==(const TarnUser&) const = default;

private:
    TarnUser() = default;

    std::int64_t id_ = 0;
    std::int64_t accountId_ = 0;
    std::optional<std::string> login_;
    std::optional<std::string> name_;
    std::optional<Role> role_;
    std::optional<UserType> type_;
};

namespace WebService {

// GET /users/me?api_version=3
struct QUILLO_EXPORT AuthenticatedUserParameter : APIEndpoint<AuthenticatedUserParameter, std::shared_ptr<const TarnUser>> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/users/me";
    AuthenticatedUserParameter() : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, {{"api_version", "3"}}) {}
};

}  // namespace WebService
}  // namespace Common

template <>
struct Platform::RawValues<Common::TarnUser::Role> {
    using R = Common::TarnUser::Role;
    static constexpr std::string_view typeName = "Role";
    static constexpr std::pair<R, std::string_view> table[] = {
        {R::owner, "owner"}, {R::general, "general"}, {R::visitor, "visitor"}, {R::partner, "partner"}};
};

template <>
struct Platform::RawValues<Common::TarnUser::UserType> {
    using T = Common::TarnUser::UserType;
    static constexpr std::string_view typeName = "UserType";
    static constexpr std::pair<T, std::string_view> table[] = {{T::user, "user"}, {T::owner, "owner"}};
};

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Common/fileprovider/TarnEventActionType.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// How the action reached the service.
struct QUILLO_EXPORT TarnEventAccess {
    std::string app;

    static TarnEventAccess decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEventAccess&) const = default;
};

struct QUILLO_EXPORT TarnEventUser {
    std::uint64_t id = 0;
    std::string name;
    std::string avatarUrl;

    static TarnEventUser decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEventUser&) const = default;
};

// Who acted.
struct QUILLO_EXPORT TarnEventAccount {
    std::uint64_t enterpriseId = 0;
    TarnEventUser user;

    static TarnEventAccount decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEventAccount&) const = default;
};

// An item an action touched; only `scheme` and `type` are always there.
struct QUILLO_EXPORT TarnEventItem {
    std::optional<std::string> id;
    std::optional<std::string> inode;
    std::optional<std::string> path;
    std::optional<std::string> projectName;
    std::string scheme;
    std::string type;

    static TarnEventItem decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEventItem&) const = default;
};

struct QUILLO_EXPORT TarnEventTarget {
    TarnEventItem item;
    // The destination, for actions that have one.
    std::optional<TarnEventItem> toItem;

    static TarnEventTarget decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEventTarget&) const = default;
};

// One action of the service's activity feed.
struct QUILLO_EXPORT TarnEvent {
    TarnEventAccess access;
    TarnEventAccount account;
    TarnEventTarget target;
    Platform::Date performedAt;
    // The key must be there; null reads as absent.
    std::optional<std::string> actionId;
    // A text of a newer service than this library reads as `unknown`, so the feed still decodes.
    TarnEventActionType action = TarnEventActionType::unknown;

    static TarnEvent decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEvent&) const = default;
};

}  // namespace Common

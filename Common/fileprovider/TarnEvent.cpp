#include "Common/fileprovider/TarnEvent.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnEventAccess TarnEventAccess::decode(const Platform::KeyedDecoder& c) {
    return {.app = c.decode<std::string>("app")};
}

TarnEventUser TarnEventUser::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decode<std::uint64_t>("id"),
        .name = c.decode<std::string>("name"),
        .avatarUrl = c.decode<std::string>("avatarUrl"),
    };
}

TarnEventAccount TarnEventAccount::decode(const Platform::KeyedDecoder& c) {
    return {
        .enterpriseId = c.decode<std::uint64_t>("enterpriseId"),
        .user = c.decode<TarnEventUser>("user"),
    };
}

TarnEventItem TarnEventItem::decode(const Platform::KeyedDecoder& c) {
    return {
        .id = c.decodeIfPresent<std::string>("id"),
        .inode = c.decodeIfPresent<std::string>("inode"),
        .path = c.decodeIfPresent<std::string>("path"),
        .projectName = c.decodeIfPresent<std::string>("projectName"),
        .scheme = c.decode<std::string>("scheme"),
        .type = c.decode<std::string>("type"),
    };
}

TarnEventTarget TarnEventTarget::decode(const Platform::KeyedDecoder& c) {
    return {
        .item = c.decode<TarnEventItem>("item"),
        .toItem = c.decodeIfPresent<TarnEventItem>("toItem"),
    };
}

TarnEvent TarnEvent::decode(const Platform::KeyedDecoder& c) {
    TarnEvent event{
        .access = c.decode<TarnEventAccess>("access"),
        .account = c.decode<TarnEventAccount>("account"),
        .target = c.decode<TarnEventTarget>("target"),
        .performedAt = c.decode<Platform::Date>("performedAt"),
    };
    // Present, possibly null: a missing key is a malformed event.
    if (!c.contains("actionId")) c.decode<std::string>("actionId");
    event.actionId = c.decodeIfPresent<std::string>("actionId");
    event.action = Platform::fromRawValue<TarnEventActionType>(c.decode<std::string>("action"))
                       .value_or(TarnEventActionType::unknown);
    return event;
}

}  // namespace Common

#include "Common/auth/TarnKnockParameter.h"

#include "Common/fileprovider/ItemIdentifiers.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/url/PercentEncoding.h"

namespace Common {

namespace {

std::vector<Platform::URLQueryItem> knockQuery(std::string_view name, std::uint64_t size,
                                               std::string_view parentItemIdentifier) {
    std::vector<Platform::URLQueryItem> items{
        {"size", std::to_string(size)},
        {"knock_id", toItemID(parentItemIdentifier)},
        {"type", "file"},
        {"api_version", "6"},
    };
    if (auto encoded = Platform::addingPercentEncoding(name)) items.push_back({"name", std::move(*encoded)});
    return items;
}

}  // namespace

TarnKnockResultInfo TarnKnockResultInfo::decode(const Platform::KeyedDecoder& c) {
    return {.newName = c.decode<std::string>("newName")};
}

TarnKnockResult TarnKnockResult::decode(const Platform::KeyedDecoder& c) {
    return {
        .code = c.decodeIfPresent<std::string>("code"),
        .info = c.decodeIfPresent<TarnKnockResultInfo>("info"),
    };
}

WebService::TarnKnockParameter::TarnKnockParameter(std::string_view name, std::uint64_t size,
                                                   std::string_view parentItemIdentifier)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, knockQuery(name, size, parentItemIdentifier)) {}

}  // namespace Common

#include "Common/service/TarnItemParameter.h"

#include "Common/fileprovider/ItemIdentifiers.h"

namespace Common::WebService {

namespace {

std::vector<Platform::URLQueryItem> withDefaults(std::vector<Platform::URLQueryItem> queryItems) {
    if (!queryItems.empty()) return queryItems;
    return {
        {"api_version", "2"},
        {"fields", "parent,path_collection,volumes"},
        {"fields_options", "limit_volume_users"},
    };
}

}  // namespace

TarnItemParameter::TarnItemParameter(std::string_view identifier, std::vector<Platform::URLQueryItem> queryItems)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, withDefaults(std::move(queryItems))),
      id_(toItemID(identifier)) {}

}  // namespace Common::WebService

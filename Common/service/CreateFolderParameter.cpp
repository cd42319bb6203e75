#include "Common/service/CreateFolderParameter.h"

#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/service/internal/ItemQueryDefaults.h"
#include "Platform/json/JSONSerialization.h"

namespace Common::WebService {

CreateFolderParameter::CreateFolderParameter(std::vector<Platform::URLQueryItem> queryItems)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                  detail::itemQueryItemsOrDefaults(std::move(queryItems))) {}

Platform::Result<Platform::Data> CreateFolderParameter::bodyData(std::string_view name,
                                                                 std::string_view parentIdentifier) {
    return Platform::prettyPrintedJSONData({
        {"name", name},
        {"parent", {{"id", toItemID(parentIdentifier)}}},
        {"api_version", 6},
    });
}

}  // namespace Common::WebService

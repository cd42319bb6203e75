#include "Common/service/RenameParameter.h"

#include "Common/service/internal/ItemQueryDefaults.h"
#include "Platform/json/JSONSerialization.h"

namespace Common::WebService {

RenameParameter::RenameParameter(std::string id, Platform::ContentType contentType,
                                 std::vector<Platform::URLQueryItem> queryItems)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                  detail::itemQueryItemsOrDefaults(std::move(queryItems))),
      id_(std::move(id)),
      contentType_(std::move(contentType)) {}

std::string RenameParameter::endpoint() const {
    return fillingIdentifier(contentType_ == Platform::ContentType::folder() ? folderEndpointTemplate : endpointTemplate,
                             id_);
}

Platform::Result<Platform::Data> RenameParameter::bodyData(std::string_view name) {
    return Platform::prettyPrintedJSONData({{"name", name}});
}

}  // namespace Common::WebService

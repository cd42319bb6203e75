#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Platform/core/Export.h"
#include "Platform/url/URLQueryItem.h"
#include "Platform/uti/ContentType.h"

namespace Common::WebService {

// DELETE /folders/:id for a folder, /files/:id for anything else: the item goes to the
// trash. The identifier goes out as given; the query items as given, no defaults.
class QUILLO_EXPORT TrashParameter : public APIEndpoint<TrashParameter, EmptyReturnType> {
public:
    static constexpr APIMethod staticMethod = APIMethod::DELETE;
    static constexpr std::string_view endpointTemplate = "/files/:id";
    static constexpr std::string_view folderEndpointTemplate = "/folders/:id";

    TrashParameter(std::string itemIdentifier, Platform::ContentType contentType,
                   std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)),
          id_(std::move(itemIdentifier)),
          contentType_(std::move(contentType)) {}

    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }
    const Platform::ContentType& contentType() const noexcept { return contentType_; }
    std::string endpoint() const override {
        return fillingIdentifier(
            contentType_ == Platform::ContentType::folder() ? folderEndpointTemplate : endpointTemplate, id_);
    }

private:
    std::string id_;
    Platform::ContentType contentType_;
};

}  // namespace Common::WebService

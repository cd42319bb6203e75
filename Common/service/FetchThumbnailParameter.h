#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Platform/core/Export.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// GET /files/:id/thumbnail.jpg: the thumbnail's JPEG bytes, undecoded. Identifier and
// query items go out as given.
class QUILLO_EXPORT FetchThumbnailParameter : public APIEndpoint<FetchThumbnailParameter, BinaryReturnType> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/files/:id/thumbnail.jpg";

    explicit FetchThumbnailParameter(std::string identifier, std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, std::move(queryItems)),
          id_(std::move(identifier)) {}

    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }

private:
    std::string id_;
};

}  // namespace Common::WebService

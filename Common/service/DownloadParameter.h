#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Common/service/Download.h"
#include "Platform/core/Export.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// GET /files/:id/token: the download ticket of a file. Identifier and query items go
// out as given.
class QUILLO_EXPORT DownloadParameter : public APIEndpoint<DownloadParameter, Download> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/files/:id/token";

    explicit DownloadParameter(std::string id, std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, std::move(queryItems)), id_(std::move(id)) {}

    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }

private:
    std::string id_;
};

}  // namespace Common::WebService

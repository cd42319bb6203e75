#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Export.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// GET /items/:id: one whole item. "01" is asked for as "0". Without query items of
// its own the request asks for the item's parent, path and volumes
// (api_version=2&fields=parent,path_collection,volumes&fields_options=limit_volume_users);
// given items replace those defaults entirely.
class QUILLO_EXPORT TarnItemParameter : public APIEndpoint<TarnItemParameter, TarnItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/items/:id";

    explicit TarnItemParameter(std::string_view identifier, std::vector<Platform::URLQueryItem> queryItems = {});

    // The service's identifier.
    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }

private:
    std::string id_;
};

}  // namespace Common::WebService

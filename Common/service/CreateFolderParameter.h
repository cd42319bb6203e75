#pragma once

#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// POST /folders: a new folder, answered by the folder. Without query items of its own
// the request asks for the folder's parent, path and volumes.
class QUILLO_EXPORT CreateFolderParameter : public APIEndpoint<CreateFolderParameter, TarnItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/folders";

    explicit CreateFolderParameter(std::vector<Platform::URLQueryItem> queryItems = {});

    // {"name": name, "parent": {"id": parent}, "api_version": 6}, pretty-printed; the
    // personal folder "01" goes out as "0". Fails only for text that is not UTF-8.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view name,
                                                                   std::string_view parentIdentifier);
};

}  // namespace Common::WebService

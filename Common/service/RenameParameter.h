#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/url/URLQueryItem.h"
#include "Platform/uti/ContentType.h"

namespace Common::WebService {

// PATCH /folders/:id for a folder, /files/:id for anything else: a new name, answered
// by the item. The identifier goes out as given ("01" stays "01"). Without query items
// of its own the request asks for the item's parent, path and volumes.
class QUILLO_EXPORT RenameParameter : public APIEndpoint<RenameParameter, TarnItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::PATCH;
    static constexpr std::string_view endpointTemplate = "/files/:id";
    static constexpr std::string_view folderEndpointTemplate = "/folders/:id";

    RenameParameter(std::string id, Platform::ContentType contentType,
                    std::vector<Platform::URLQueryItem> queryItems = {});

    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }
    const Platform::ContentType& contentType() const noexcept { return contentType_; }
    std::string endpoint() const override;

    // {"name": name}, pretty-printed. Fails only for a name that is not UTF-8.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view name);

private:
    std::string id_;
    Platform::ContentType contentType_;
};

}  // namespace Common::WebService

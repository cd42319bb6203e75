#pragma once

#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// POST /items/move: one item into another folder; the answer carries nothing.
class QUILLO_EXPORT MoveParameter : public APIEndpoint<MoveParameter, EmptyReturnType> {
public:
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/items/move";

    explicit MoveParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)) {}

    // {"ids": [id], "parent_id": parent}, pretty-printed; the item's id goes out as
    // given, the personal folder "01" as parent goes out as "0".
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view id,
                                                                   std::string_view parentIdentifier);
};

}  // namespace Common::WebService

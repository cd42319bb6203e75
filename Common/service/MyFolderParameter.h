#pragma once

#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /items/0?fields=parent,volumes: the user's personal folder.
struct QUILLO_EXPORT MyFolderParameter : APIEndpoint<MyFolderParameter, TarnItem> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/items/0";
    MyFolderParameter() : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, {{"fields", "parent,volumes"}}) {}
};

}  // namespace Common::WebService

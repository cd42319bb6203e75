#pragma once

#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /users/me/my_volumes: every volume the signed-in user belongs to.
struct QUILLO_EXPORT MyVolumesParameter : APIEndpoint<MyVolumesParameter, TarnMyVolumes> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/users/me/my_volumes";
    MyVolumesParameter() : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true) {}
};

}  // namespace Common::WebService

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/service/LSResponse.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /folders/:id/ls?offset=&limit=&sort=modified_at&desc=true: one window of a
// folder's children, newest first. The identifier goes out as given, so callers pass
// the service's ("0", not "01").
class QUILLO_EXPORT LSParameter : public APIEndpoint<LSParameter, LSResponse> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/:id/ls";

    LSParameter(std::string id, std::int64_t offset, std::int64_t limit);

    const std::string& id() const noexcept { return id_; }
    const std::string& identifier() const noexcept { return id_; }

private:
    std::string id_;
};

}  // namespace Common::WebService

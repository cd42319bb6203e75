#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/fileprovider/TarnEvent.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Common::WebService {

// GET /events?use=app&latest: the latest events; with a date,
// GET /events?use=app&after=2024-01-02T03:04:05.678Z: the events after it (UTC, milliseconds).
class QUILLO_EXPORT TarnEventsParameter : public APIEndpoint<TarnEventsParameter, std::vector<TarnEvent>> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/events";

    explicit TarnEventsParameter(std::optional<Platform::Date> date = std::nullopt);
};

}  // namespace Common::WebService

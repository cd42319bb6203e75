#include "Common/service/MoveParameter.h"

#include "Common/fileprovider/ItemIdentifiers.h"
#include "Platform/json/JSONSerialization.h"

namespace Common::WebService {

Platform::Result<Platform::Data> MoveParameter::bodyData(std::string_view id, std::string_view parentIdentifier) {
    return Platform::prettyPrintedJSONData({
        {"ids", nlohmann::json::array({id})},
        {"parent_id", toItemID(parentIdentifier)},
    });
}

}  // namespace Common::WebService

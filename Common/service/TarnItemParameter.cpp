#include "Common/service/TarnItemParameter.h"

#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/service/internal/ItemQueryDefaults.h"

namespace Common::WebService {

TarnItemParameter::TarnItemParameter(std::string_view identifier, std::vector<Platform::URLQueryItem> queryItems)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, detail::itemQueryItemsOrDefaults(std::move(queryItems))),
      id_(toItemID(identifier)) {}

}  // namespace Common::WebService

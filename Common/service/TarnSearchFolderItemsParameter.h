#pragma once

#include <cstdint>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnSearchIndex.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /folders/0/search?q=<keyword>&sort=relevance&desc=true&api_version=2&min_search=1
// &offset=<offset>&limit=50: a window of 50 items matching the keyword, best first.
// The keyword is percent-encoded here ("+" and "&" included); one that is not UTF-8
// leaves the query empty.
class QUILLO_EXPORT TarnSearchFolderItemsParameter
    : public APIEndpoint<TarnSearchFolderItemsParameter, TarnSearchIndex> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/0/search";
    static constexpr std::int64_t windowSize = 50;

    TarnSearchFolderItemsParameter(std::string_view keyword, std::int64_t offset);
};

}  // namespace Common::WebService

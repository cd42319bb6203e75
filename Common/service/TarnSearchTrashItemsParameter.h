#pragma once

#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnTrashItem.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /trash_items/search?path=<path>: the trash entry of the item that was at `path`.
// The path is percent-encoded here; one that is not UTF-8 leaves the query empty.
class QUILLO_EXPORT TarnSearchTrashItemsParameter : public APIEndpoint<TarnSearchTrashItemsParameter, TarnTrashItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/trash_items/search";

    explicit TarnSearchTrashItemsParameter(std::string_view path);
};

}  // namespace Common::WebService

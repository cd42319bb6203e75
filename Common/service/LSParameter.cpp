#include "Common/service/LSParameter.h"

namespace Common::WebService {

LSParameter::LSParameter(std::string id, std::int64_t offset, std::int64_t limit)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false,
                  {{"offset", std::to_string(offset)},
                   {"limit", std::to_string(limit)},
                   {"sort", "modified_at"},
                   {"desc", "true"}}),
      id_(std::move(id)) {}

}  // namespace Common::WebService

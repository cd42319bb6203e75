#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/service/TarnItem.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/time/Date.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// PUT /files/s3/multipartmodify: turns the stored parts into a new version of the file, which
// keeps its name.
class QUILLO_EXPORT CompleteMultiPartUploadForModificationParameter : public APIEndpoint<CompleteMultiPartUploadForModificationParameter, TarnItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::PUT;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartmodify";

    // Sends exactly the given items, already encoded.
    explicit CompleteMultiPartUploadForModificationParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)) {}

    // {"file_id", "s3key", "etags" (in part order), "mtime"}, as the new-file body without
    // the name; fails the same way.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view fileID, std::string_view s3Key,
                                                                   const std::vector<std::string>& eTags,
                                                                   const std::optional<Platform::Date>& mtime);
};

}  // namespace Common::WebService

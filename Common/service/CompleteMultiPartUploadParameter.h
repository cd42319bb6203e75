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

// PUT /files/s3/multipartupload: turns the stored parts into a new file of the folder.
class QUILLO_EXPORT CompleteMultiPartUploadParameter : public APIEndpoint<CompleteMultiPartUploadParameter, TarnItem> {
public:
    static constexpr APIMethod staticMethod = APIMethod::PUT;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartupload";

    // Sends exactly the given items, already encoded.
    explicit CompleteMultiPartUploadParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)) {}

    // {"parent_id", "s3key", "etags" (in part order), "name", "mtime"}; the parent "01" is
    // sent as "0"; mtime is "0" without a date, else its whole seconds since 1970 truncated
    // toward zero, as text. Fails with MultiPartUploadError for a date whose seconds do not
    // fit a signed 64-bit integer (or are NaN or infinite) and for text that is not UTF-8.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view parentItemIdentifier,
                                                                   std::string_view s3Key,
                                                                   const std::vector<std::string>& eTags,
                                                                   std::string_view name,
                                                                   const std::optional<Platform::Date>& mtime);
};

}  // namespace Common::WebService

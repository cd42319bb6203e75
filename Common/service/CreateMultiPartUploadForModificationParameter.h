#pragma once

#include <string_view>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Common/service/MultiPartUpload.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/url/URLQueryItem.h"

namespace Common::WebService {

// POST /files/s3/multipartmodify: opens the upload of new contents for an existing file.
class QUILLO_EXPORT CreateMultiPartUploadForModificationParameter : public APIEndpoint<CreateMultiPartUploadForModificationParameter, MultiPartUpload> {
public:
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartmodify";

    // Sends exactly the given items, already encoded.
    explicit CreateMultiPartUploadForModificationParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)) {}

    // {"file_id": file}, sent unchanged. Fails only for text that is not UTF-8.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view fileID);
};

}  // namespace Common::WebService

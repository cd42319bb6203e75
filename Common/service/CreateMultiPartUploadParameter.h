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

// POST /files/s3/multipartupload: opens the upload of a new file into a folder; the answer's
// storage key names the upload in every later request.
class QUILLO_EXPORT CreateMultiPartUploadParameter : public APIEndpoint<CreateMultiPartUploadParameter, MultiPartUpload> {
public:
    static constexpr APIMethod staticMethod = APIMethod::POST;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartupload";

    // Sends exactly the given items, already encoded.
    explicit CreateMultiPartUploadParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true, std::move(queryItems)) {}

    // {"parent_id": parent}, "01" sent as "0". Fails only for text that is not UTF-8.
    [[nodiscard]] static Platform::Result<Platform::Data> bodyData(std::string_view parentItemIdentifier);
};

}  // namespace Common::WebService

#pragma once

#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// DELETE /files/s3/multipartupload?parent_id=&s3key=: abandons an opened upload of a new
// file, so the storage drops its parts. The parent "01" is sent as "0"; both values go
// out as given (percent-encoded by the caller).
class QUILLO_EXPORT AbortMultiPartUploadParameter : public APIEndpoint<AbortMultiPartUploadParameter, EmptyReturnType> {
public:
    static constexpr APIMethod staticMethod = APIMethod::DELETE;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartupload";

    AbortMultiPartUploadParameter(std::string_view parentItemIdentifier, std::string s3Key)
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                      {{"parent_id", toItemID(parentItemIdentifier)}, {"s3key", std::move(s3Key)}}) {}
};

}  // namespace Common::WebService

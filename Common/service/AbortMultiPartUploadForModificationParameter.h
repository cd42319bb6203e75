#pragma once

#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/connection/WebConnection.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// DELETE /files/s3/multipartmodify?file_id=&s3key=: abandons an opened upload of new
// contents. Both values go out as given (percent-encoded by the caller).
class QUILLO_EXPORT AbortMultiPartUploadForModificationParameter
    : public APIEndpoint<AbortMultiPartUploadForModificationParameter, EmptyReturnType> {
public:
    static constexpr APIMethod staticMethod = APIMethod::DELETE;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartmodify";

    AbortMultiPartUploadForModificationParameter(std::string fileID, std::string s3Key)
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                      {{"file_id", std::move(fileID)}, {"s3key", std::move(s3Key)}}) {}
};

}  // namespace Common::WebService

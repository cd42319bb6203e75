#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/service/PresignedURL.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /files/s3/multipartmodify/url?file_id=&s3key=&part_number=: the presigned
// address of one part of new contents for an existing file. Nothing is translated: the
// file identifier and the storage key go out as given (percent-encoded by the caller).
class QUILLO_EXPORT PresignedURLForModificationParameter : public APIEndpoint<PresignedURLForModificationParameter, PresignedURL> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartmodify/url";

    PresignedURLForModificationParameter(std::string fileID, std::string s3Key, std::uint64_t partNumber)
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                      {{"file_id", std::move(fileID)},
                       {"s3key", std::move(s3Key)},
                       {"part_number", std::to_string(partNumber)}}) {}
};

}  // namespace Common::WebService

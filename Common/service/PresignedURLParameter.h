#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/service/PresignedURL.h"
#include "Platform/core/Export.h"

namespace Common::WebService {

// GET /files/s3/multipartupload/url?parent_id=&s3key=&part_number=: the presigned
// address of one part of a new file. The parent "01" is sent as "0"; the parent and the
// storage key go out as given, so callers pass them percent-encoded.
class QUILLO_EXPORT PresignedURLParameter : public APIEndpoint<PresignedURLParameter, PresignedURL> {
public:
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/files/s3/multipartupload/url";

    PresignedURLParameter(std::string_view parentItemIdentifier, std::string s3Key, std::uint64_t partNumber)
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ true,
                      {{"parent_id", toItemID(parentItemIdentifier)},
                       {"s3key", std::move(s3Key)},
                       {"part_number", std::to_string(partNumber)}}) {}
};

}  // namespace Common::WebService

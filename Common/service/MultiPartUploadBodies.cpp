// The four body builders of the multipart descriptors.
#include "Common/service/CompleteMultiPartUploadForModificationParameter.h"
#include "Common/service/CompleteMultiPartUploadParameter.h"
#include "Common/service/CreateMultiPartUploadForModificationParameter.h"
#include "Common/service/CreateMultiPartUploadParameter.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/service/internal/MultiPartBody.h"

namespace Common::WebService {

Platform::Result<Platform::Data> CreateMultiPartUploadParameter::bodyData(std::string_view parentItemIdentifier) {
    return detail::multiPartBody({{"parent_id", toItemID(parentItemIdentifier)}});
}

Platform::Result<Platform::Data> CreateMultiPartUploadForModificationParameter::bodyData(std::string_view fileID) {
    return detail::multiPartBody({{"file_id", fileID}});
}

Platform::Result<Platform::Data> CompleteMultiPartUploadParameter::bodyData(std::string_view parentItemIdentifier,
                                                                           std::string_view s3Key,
                                                                           const std::vector<std::string>& eTags,
                                                                           std::string_view name,
                                                                           const std::optional<Platform::Date>& mtime) {
    auto time = detail::mtimeText(mtime);
    if (!time) return time.error();
    return detail::multiPartBody({{"parent_id", toItemID(parentItemIdentifier)},
                                  {"s3key", s3Key},
                                  {"etags", eTags},
                                  {"name", name},
                                  {"mtime", std::move(time).value()}});
}

Platform::Result<Platform::Data> CompleteMultiPartUploadForModificationParameter::bodyData(
    std::string_view fileID, std::string_view s3Key, const std::vector<std::string>& eTags,
    const std::optional<Platform::Date>& mtime) {
    auto time = detail::mtimeText(mtime);
    if (!time) return time.error();
    return detail::multiPartBody(
        {{"file_id", fileID}, {"s3key", s3Key}, {"etags", eTags}, {"mtime", std::move(time).value()}});
}

}  // namespace Common::WebService

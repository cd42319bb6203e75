#include "Common/service/internal/MultiPartBody.h"

#include <cmath>

#include "Common/service/MultiPartUploadError.h"
#include "Platform/json/JSONSerialization.h"

namespace Common::detail {

Platform::Result<std::string> mtimeText(const std::optional<Platform::Date>& mtime) {
    if (!mtime) return std::string("0");
    const double seconds = std::trunc(mtime->timeIntervalSince1970);
    // 2^63 is exact as a double; INT64_MIN = -2^63 is the lowest value that fits.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(seconds) || seconds >= limit || seconds < -limit) {
        return Platform::Result<std::string>::failure(MultiPartUploadError(
            MultiPartUploadError::Code::modificationDateOutOfRange, std::to_string(mtime->timeIntervalSince1970)));
    }
    return std::to_string(static_cast<std::int64_t>(seconds));
}

Platform::Result<Platform::Data> multiPartBody(const nlohmann::json& body) {
    try {
        return Platform::prettyPrintedJSON(body);
    } catch (const nlohmann::json::exception&) {
        return Platform::Result<Platform::Data>::failure(
            MultiPartUploadError(MultiPartUploadError::Code::textNotSerializable, "request body"));
    }
}

}  // namespace Common::detail

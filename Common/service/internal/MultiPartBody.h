#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "Platform/core/Data.h"
#include "Platform/core/Result.h"
#include "Platform/time/Date.h"

namespace Common::detail {

// The `mtime` text of the complete bodies: "0" without a date, else the seconds since
// 1970 truncated toward zero. A date whose seconds are NaN, infinite or outside a
// signed 64-bit integer is refused (MultiPartUploadError) rather than converted.
[[nodiscard]] Platform::Result<std::string> mtimeText(const std::optional<Platform::Date>& mtime);

// The body as pretty-printed JSON; a text that is not UTF-8 is refused
// (MultiPartUploadError::textNotSerializable) instead of thrown.
[[nodiscard]] Platform::Result<Platform::Data> multiPartBody(const nlohmann::json& body);

}  // namespace Common::detail

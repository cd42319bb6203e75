#pragma once

#include <optional>
#include <string_view>

#include "Common/service/Uploader.h"
#include "Platform/time/Date.h"

namespace Common::detail {

// Seconds a Retry-After value asks to wait: delta-seconds ("120") or an HTTP date
// ("Sun, 06 Nov 1994 08:49:37 GMT", at least 0 from `now`). None for anything else.
[[nodiscard]] std::optional<double> retryAfterSeconds(std::string_view value, Platform::Date now);

// The pause before retry number `retry` (1 for the second try): the Retry-After when
// given (capped at policy.maximumRetryAfter), else full jitter, `random` in [0, 1)
// picking the point between 0 and the back-off's ceiling.
[[nodiscard]] double retryDelay(const UploadRetryPolicy& policy, int retry, std::optional<double> retryAfter,
                                double random);

}  // namespace Common::detail

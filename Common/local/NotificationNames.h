#pragma once

namespace Common {

// Posted to every process of the user session when calls keep failing.
inline constexpr const char* QuilloExceededErrorLimit = "com.fernwaldsky.quillo.macos.exceeded.error.limit";

}  // namespace Common

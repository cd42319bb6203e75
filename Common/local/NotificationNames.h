#pragma once

namespace Common {

// Names of the notifications the application and the extension exchange. Only the error
// limit is posted by the library itself; the host processes post and observe the rest.
inline constexpr const char* QuilloClassicDidLogin = "com.fernwaldsky.quillo.macos.classic.did.login";
inline constexpr const char* QuilloClassicDidLogout = "com.fernwaldsky.quillo.macos.classic.did.logout";
inline constexpr const char* QuilloClassicWillTerminate = "com.fernwaldsky.quillo.macos.classic.will.terminate";
inline constexpr const char* QuilloClassicDidUpdateCredential =
    "com.fernwaldsky.quillo.macos.classic.did.update.credential";
inline constexpr const char* QuilloClassicWillUpdateSoftware =
    "com.fernwaldsky.quillo.macos.classic.will.update.software";
// Posted to every process of the user session when calls keep failing.
inline constexpr const char* QuilloExceededErrorLimit = "com.fernwaldsky.quillo.macos.exceeded.error.limit";

}  // namespace Common

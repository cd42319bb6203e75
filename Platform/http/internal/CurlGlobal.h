#pragma once

namespace Platform::detail {

// Initializes libcurl once per process; call before any other libcurl use.
// It is never torn down: handles may still be alive in other threads at exit.
void ensureCurlGlobalInit();

}  // namespace Platform::detail

#pragma once

#include <cstdint>

#include "Common/connection/WebConnection.h"

namespace TestSupport {

struct LoadRunOptions {
    std::int64_t calls = 0;
    int threads = 4;
    // Calls each thread keeps under way at once.
    int windowPerThread = 16;
};

struct LoadRunResult {
    std::int64_t failures = 0;
    // "QuilloExceededErrorLimit" posts seen in this process.
    std::int64_t notifications = 0;
    // Call ids whose completion ran other than once.
    std::int64_t notCompletedOnce = 0;
    // Peak resident set (VmHWM) once the first tenth of the calls completed, and at the end.
    std::int64_t peakKiBAfterFirstTenth = 0;
    std::int64_t peakKiBAtEnd = 0;
    double seconds = 0;
};

// Sends `calls` users/me calls through `connection` from several threads, counts each
// completion per call id and the failure-limit notifications. Waits (bounded) for the
// notifications the observed failures should have posted before it returns.
[[nodiscard]] LoadRunResult runLoad(const Common::WebConnection& connection, const LoadRunOptions& options);

}  // namespace TestSupport

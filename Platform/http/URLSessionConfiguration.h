#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/core/Export.h"

namespace Platform {

// How a URLSession sends its requests. Sessions never keep cookies, a disk cache or
// credentials, so every configuration is ephemeral.
struct QUILLO_EXPORT URLSessionConfiguration {
    static URLSessionConfiguration ephemeral() { return {}; }

    // Sent with every request, before the request's own fields; a request field of the
    // same name (in any letter case) replaces the session's.
    std::vector<std::pair<std::string, std::string>> httpAdditionalHeaders;
    // Hold requests that fail because the machine is offline until it is online again
    // (at most timeoutIntervalForResource), instead of failing them at once.
    bool waitsForConnectivity = false;
    // Seconds a task may take in all, waiting for connectivity included.
    double timeoutIntervalForResource = 604800;
    // Connections open at once to one host; further requests queue for a free one.
    int maximumConnectionsPerHost = 6;
    // Bytes of a response body (after its content coding is undone) a data task may
    // hold; past it the task fails with dataLengthExceedsMaximum. None: no bound, for
    // sessions whose bodies go to files.
    std::optional<std::uint64_t> maximumResponseBodySize;
};

}  // namespace Platform

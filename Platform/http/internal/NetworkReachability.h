#pragma once

#include <string_view>

namespace Platform::detail {

// Whether some interface other than loopback is up, running and has an IPv4 or IPv6
// address: without one, no request can leave the machine.
bool hasUsableNetworkInterface();

// Whether `host`, as it appears in a URL ("localhost", "127.0.0.1", "[::1]"), names this
// machine's loopback; such requests never depend on the network being up.
bool isLoopbackHost(std::string_view host);

}  // namespace Platform::detail

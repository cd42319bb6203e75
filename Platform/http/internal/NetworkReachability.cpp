#include "Platform/http/internal/NetworkReachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <string>

#include "Platform/core/ASCII.h"
#include "Platform/core/UniqueHandle.h"

namespace Platform::detail {

bool hasUsableNetworkInterface() {
    ifaddrs* first = nullptr;
    // Unknown is treated as online: failing fast beats holding requests for nothing.
    if (getifaddrs(&first) != 0) return true;
    const UniqueHandle<ifaddrs*, &freeifaddrs> list(first);
    bool usable = false;
    for (const ifaddrs* entry = list.get(); entry != nullptr && !usable; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) continue;
        const auto family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        const auto flags = entry->ifa_flags;
        usable = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    return usable;
}

bool isLoopbackHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    constexpr std::string_view localhost = "localhost";
    if (equalsIgnoringASCIICase(host, localhost)) return true;
    if (host.size() > localhost.size() + 1 &&
        equalsIgnoringASCIICase(host.substr(host.size() - localhost.size()), localhost) &&
        host[host.size() - localhost.size() - 1] == '.') {
        return true;
    }
    const std::string address(host);  // inet_pton reads a C string
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

}  // namespace Platform::detail

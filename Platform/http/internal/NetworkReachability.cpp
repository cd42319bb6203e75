#include "Platform/http/internal/NetworkReachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace Platform::detail {

bool hasUsableNetworkInterface() {
    ifaddrs* list = nullptr;
    // Unknown is treated as online: failing fast beats holding requests for nothing.
    if (getifaddrs(&list) != 0) return true;
    bool usable = false;
    for (const ifaddrs* entry = list; entry != nullptr && !usable; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) continue;
        const auto family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        const auto flags = entry->ifa_flags;
        usable = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return usable;
}

bool isLoopbackHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    std::string lower(host);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!lower.empty() && lower.back() == '.') lower.pop_back();
    constexpr std::string_view localhost = "localhost";
    if (lower == localhost) return true;
    if (lower.size() > localhost.size() + 1 && lower.ends_with(localhost) &&
        lower[lower.size() - localhost.size() - 1] == '.') {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, lower.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, lower.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

}  // namespace Platform::detail

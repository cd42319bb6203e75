#include "Platform/ipc/internal/Socket.h"

#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "Platform/ipc/IPCError.h"

namespace Platform::detail {

sockaddr_un socketAddress(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.empty() || text.size() >= sizeof(address.sun_path)) {
        throw IPCError(IPCError::Code::addressUnavailable, "socket path does not fit: " + text);
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

bool sendAll(int fd, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

SocketDescriptor makeWakeDescriptor() {
    SocketDescriptor fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

void wake(int fd) noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
}

void drainWake(int fd) noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
}

}  // namespace Platform::detail

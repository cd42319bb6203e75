#pragma once

#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>

#include "Platform/core/FileDescriptor.h"

namespace Platform::detail {

using SocketDescriptor = FileDescriptor;

// Throws IPCError (addressUnavailable) for a path that does not fit a socket address.
sockaddr_un socketAddress(const std::filesystem::path& path);
// Sends every byte, waiting when the peer's buffer is full. False once the peer is gone.
[[nodiscard]] bool sendAll(int fd, std::string_view bytes) noexcept;
// An eventfd that wakes a poll loop.
SocketDescriptor makeWakeDescriptor();
void wake(int fd) noexcept;
void drainWake(int fd) noexcept;

}  // namespace Platform::detail

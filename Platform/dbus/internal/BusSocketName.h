#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "Platform/core/FileDescriptor.h"
#include "Platform/dbus/internal/SessionBus.h"

namespace Platform::detail {

// A well-known bus name: two or more dot-separated elements of [A-Za-z0-9_-], none starting
// with a digit, at most 255 bytes.
constexpr bool isValidBusName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    std::size_t elements = 0;
    bool atElementStart = true;
    for (const char c : name) {
        if (c == '.') {
            if (atElementStart) return false;
            atElementStart = true;
            continue;
        }
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && !atElementStart)) return false;
        if (atElementStart) ++elements;
        atElementStart = false;
    }
    return !atElementStart && elements >= 2;
}

// "/a/b/c" for "a.b.c"; the object that answers SocketPath under a bus name.
std::string objectPathFor(std::string_view busName);

// Owns a well-known name on the session bus and answers its SocketPath() method ("s") with
// the path of a Unix socket, so a process of the same user can find that socket. A name
// another connection owns is queued for: it passes here when that owner lets go.
class BusSocketName {
public:
    struct Started {
        std::unique_ptr<BusSocketName> name;
        std::string failure;  // why there is no name; empty when `name` is set
    };
    // Takes the name (or its place in the queue) before it returns.
    [[nodiscard]] static Started start(std::string busName, std::filesystem::path socketPath);
    // Releases the name, then stops answering.
    ~BusSocketName();
    BusSocketName(const BusSocketName&) = delete;
    BusSocketName& operator=(const BusSocketName&) = delete;

private:
    using EventDescriptor = FileDescriptor;
    BusSocketName() = default;
    static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
    void run();

    SdBus bus_;
    SdBusSlot object_;
    std::string busName_;
    std::string objectPath_;
    std::string socketPath_;
    EventDescriptor wake_;
    bool requested_ = false;  // owned or queued for: released on the way out
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The socket path that the owner of `busName` answers, when that owner is a process of this
// user and the answer is an absolute path that fits a socket address; otherwise none and why.
struct BusSocketLookup {
    std::optional<std::filesystem::path> path;
    std::string failure;
};
[[nodiscard]] BusSocketLookup socketPathOnBus(const std::string& busName);

}  // namespace Platform::detail

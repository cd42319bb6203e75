#include "Platform/dbus/internal/SessionBus.h"

#include <cstdlib>
#include <cstring>

namespace Platform::detail {

namespace {

// A bus that accepts a connection but never answers must not hold the caller up.
constexpr std::uint64_t callTimeoutMicroseconds = 5'000'000;

std::optional<bool> askBool(sd_bus* bus, const char* method, std::string_view name) {
    BusError error;
    sd_bus_message* raw = nullptr;
    const std::string text(name);
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                           &error.error, &raw, "s", text.c_str()) < 0) {
        return std::nullopt;
    }
    SdBusMessage reply(raw);
    int answer = 0;
    if (sd_bus_message_read(reply.get(), "b", &answer) < 0) return std::nullopt;
    return answer != 0;
}

std::optional<bool> isActivatable(sd_bus* bus, std::string_view name) {
    BusError error;
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "ListActivatableNames", &error.error, &raw, "") < 0) {
        return std::nullopt;
    }
    SdBusMessage reply(raw);
    if (sd_bus_message_enter_container(reply.get(), 'a', "s") < 0) return std::nullopt;
    const char* entry = nullptr;
    int read = 0;
    while ((read = sd_bus_message_read_basic(reply.get(), 's', &entry)) > 0) {
        if (name == entry) return true;
    }
    if (read < 0) return std::nullopt;
    return false;
}

}  // namespace

std::string busFailure(int code) {
    return std::strerror(code < 0 ? -code : code);
}

SessionBusConnection openSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((address == nullptr || *address == '\0') && (runtime == nullptr || *runtime == '\0')) {
        return {.failure = "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set"};
    }
    sd_bus* raw = nullptr;
    const int opened = sd_bus_open_user(&raw);
    SdBus bus(raw);
    if (opened < 0) return {.failure = "cannot connect to the session bus: " + busFailure(opened)};
    sd_bus_set_method_call_timeout(bus.get(), callTimeoutMicroseconds);
    // The connection is only known to work once the bus has answered.
    const char* unique = nullptr;
    if (const int hello = sd_bus_get_unique_name(bus.get(), &unique); hello < 0) {
        return {.failure = "the session bus did not answer: " + busFailure(hello)};
    }
    return {.bus = std::move(bus)};
}

std::optional<BusNameState> busNameState(sd_bus* bus, std::string_view name) {
    const auto owned = askBool(bus, "NameHasOwner", name);
    if (!owned) return std::nullopt;
    if (*owned) return BusNameState::owned;
    const auto activatable = isActivatable(bus, name);
    if (!activatable) return std::nullopt;
    return *activatable ? BusNameState::activatable : BusNameState::absent;
}

}  // namespace Platform::detail

#pragma once

#include <systemd/sd-bus.h>

#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/UniqueHandle.h"

namespace Platform::detail {

using SdBus = UniqueHandle<sd_bus*, &sd_bus_flush_close_unref>;
using SdBusSlot = UniqueHandle<sd_bus_slot*, &sd_bus_slot_unref>;
using SdBusMessage = UniqueHandle<sd_bus_message*, &sd_bus_message_unref>;

// Owns an sd_bus_error for one call.
struct BusError {
    // SD_BUS_ERROR_NULL is a C compound literal.
    sd_bus_error error{nullptr, nullptr, 0};
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
};

// A fresh connection to the user's session bus, or why there is none. The address comes
// from DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus; nothing is launched.
struct SessionBusConnection {
    SdBus bus;
    std::string failure;  // empty when `bus` is set
};
[[nodiscard]] SessionBusConnection openSessionBus();

enum class BusNameState { owned, activatable, absent };

// Whether `name` has an owner on `bus`, or the bus would start one; none when the bus
// does not answer within a few seconds.
[[nodiscard]] std::optional<BusNameState> busNameState(sd_bus* bus, std::string_view name);

// The bus's message for a negative return of sd-bus.
std::string busFailure(int code);

}  // namespace Platform::detail

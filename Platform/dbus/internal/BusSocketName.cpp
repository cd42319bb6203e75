#include "Platform/dbus/internal/BusSocketName.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "Platform/log/Logger.h"

namespace Platform::detail {

namespace {

constexpr const char* methodName = "SocketPath";

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "SessionBus");
    return instance;
}

// The answer of the bus itself to `method` about `name`, read as `Raw` (which may point into
// the reply) and kept as `Value`.
template <class Value, class Raw = Value>
std::optional<Value> askBus(sd_bus* bus, const char* method, const char* signature, const std::string& name) {
    BusError error;
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                           &error.error, &raw, "s", name.c_str()) < 0) {
        return std::nullopt;
    }
    SdBusMessage reply(raw);
    Raw value{};
    if (sd_bus_message_read(reply.get(), signature, &value) < 0) return std::nullopt;
    if constexpr (std::is_pointer_v<Raw>) {
        if (value == nullptr) return std::nullopt;
    }
    return Value(value);
}

}  // namespace

std::string objectPathFor(std::string_view busName) {
    std::string path = "/";
    for (const char c : busName) path += c == '.' ? '/' : c == '-' ? '_' : c;
    return path;
}

BusSocketName::Started BusSocketName::start(std::string busName, std::filesystem::path socketPath) {
    if (!isValidBusName(busName)) return {.failure = "not a bus name: " + busName};
    auto connection = openSessionBus();
    if (!connection.bus) return {.failure = connection.failure};
    std::unique_ptr<BusSocketName> name(new BusSocketName());
    name->bus_ = std::move(connection.bus);
    name->busName_ = std::move(busName);
    name->objectPath_ = objectPathFor(name->busName_);
    name->socketPath_ = socketPath.string();
    name->wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!name->wake_) return {.failure = "no eventfd: " + busFailure(errno)};
    sd_bus_slot* slot = nullptr;
    if (const int added = sd_bus_add_object(name->bus_.get(), &slot, name->objectPath_.c_str(), &onMessage, name.get());
        added < 0) {
        return {.failure = "cannot add " + name->objectPath_ + ": " + busFailure(added)};
    }
    name->object_.reset(slot);
    const int requested = sd_bus_request_name(name->bus_.get(), name->busName_.c_str(), SD_BUS_NAME_QUEUE);
    if (requested < 0) return {.failure = "cannot own " + name->busName_ + ": " + busFailure(requested)};
    name->requested_ = true;
    if (requested == 0) logger().notice("Waiting in line for %{public}s", name->busName_.c_str());
    name->thread_ = std::thread([raw = name.get()] { raw->run(); });
    return {.name = std::move(name)};
}

BusSocketName::~BusSocketName() {
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto wrote = ::write(wake_.get(), &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    // Released before the socket closes, so nobody is sent to a socket that is going away.
    if (const int released = requested_ ? sd_bus_release_name(bus_.get(), busName_.c_str()) : 0; released < 0) {
        logger().error("Could not release %{public}s: %{public}s", busName_.c_str(), busFailure(released).c_str());
    }
    object_.reset();
}

int BusSocketName::onMessage(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const auto& self = *static_cast<const BusSocketName*>(userdata);
    if (!sd_bus_message_is_method_call(message, self.busName_.c_str(), methodName)) return 0;  // the bus answers "unknown"
    const int replied = sd_bus_reply_method_return(message, "s", self.socketPath_.c_str());
    return replied < 0 ? replied : 1;
}

void BusSocketName::run() {
    while (!stopping_) {
        int processed = 0;
        while ((processed = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        if (processed < 0) {
            logger().error("The session bus connection ended: %{public}s", busFailure(processed).c_str());
            return;
        }
        pollfd entries[2] = {{.fd = wake_.get(), .events = POLLIN, .revents = 0},
                             {.fd = sd_bus_get_fd(bus_.get()), .events = static_cast<short>(sd_bus_get_events(bus_.get())),
                              .revents = 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) return;
    }
}

BusSocketLookup socketPathOnBus(const std::string& busName) {
    if (!isValidBusName(busName)) return {.failure = "not a bus name: " + busName};
    const auto connection = openSessionBus();
    if (!connection.bus) return {.failure = connection.failure};
    sd_bus* bus = connection.bus.get();
    const auto owner = askBus<std::string, const char*>(bus, "GetNameOwner", "s", busName);
    if (!owner) return {.failure = busName + " has no owner"};
    // Asked of the unique name from here on, so the owner checked is the owner asked.
    const std::string& unique = *owner;
    const auto user = askBus<std::uint32_t>(bus, "GetConnectionUnixUser", "u", unique);
    if (!user) return {.failure = "the bus does not tell the user of " + unique};
    if (*user != ::geteuid()) return {.failure = busName + " is owned by user " + std::to_string(*user)};

    BusError error;
    sd_bus_message* raw = nullptr;
    const std::string objectPath = objectPathFor(busName);
    if (const int called = sd_bus_call_method(bus, unique.c_str(), objectPath.c_str(), busName.c_str(), methodName,
                                              &error.error, &raw, "");
        called < 0) {
        return {.failure = unique + " did not answer " + methodName + ": " +
                           (error.error.message ? error.error.message : busFailure(called))};
    }
    SdBusMessage reply(raw);
    const char* text = nullptr;
    if (sd_bus_message_read(reply.get(), "s", &text) < 0 || text == nullptr) {
        return {.failure = unique + " answered " + methodName + " with something other than a path"};
    }
    const std::filesystem::path path(text);
    if (!path.is_absolute() || path.native().size() >= sizeof(sockaddr_un::sun_path)) {
        return {.failure = unique + " answered a path that is not an absolute socket address"};
    }
    return {.path = path};
}

}  // namespace Platform::detail

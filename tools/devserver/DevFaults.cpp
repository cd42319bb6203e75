#include "DevFaults.h"

#include <array>
#include <stdexcept>

namespace DevServer {
namespace {

const std::array<const char*, 9> familyNames{"oauth", "users", "volumes", "items", "search",
                                              "download", "upload", "storage", "events"};

FaultKind kindFromText(const std::string& text) {
    if (text == "5xx") return FaultKind::serverError;
    if (text == "429") return FaultKind::tooManyRequests;
    if (text == "close") return FaultKind::closeMidBody;
    throw std::invalid_argument("unknown fault kind " + text + " (5xx, 429, close)");
}

const char* textOf(FaultKind kind) {
    switch (kind) {
    case FaultKind::serverError: return "5xx";
    case FaultKind::tooManyRequests: return "429";
    case FaultKind::closeMidBody: return "close";
    }
    return "5xx";
}

int boundedInt(const nlohmann::json& value, const char* name, int low, int high) {
    if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high)
        throw std::invalid_argument(std::string(name) + " must be an integer in " + std::to_string(low) + ".." +
                                    std::to_string(high));
    return value.get<int>();
}

}  // namespace

void DevFaults::apply(const nlohmann::json& settings) {
    if (!settings.is_object()) throw std::invalid_argument("faults must be a JSON object");
    // Checked in full before anything changes, so a bad request changes nothing.
    auto latency = latencyMilliseconds();
    auto lifetime = tokenLifetimeSeconds();
    std::optional<std::uint64_t> seed;
    std::map<std::string, FamilyFault> families;
    for (const auto& [key, value] : settings.items()) {
        if (key == "latency_ms") {
            latency = boundedInt(value, "latency_ms", 0, 60'000);
        } else if (key == "token_lifetime") {
            lifetime = boundedInt(value, "token_lifetime", 0, 30 * 86400);
        } else if (key == "seed") {
            seed = static_cast<std::uint64_t>(boundedInt(value, "seed", 0, 1 << 30));
        } else if (key == "families") {
            if (!value.is_object()) throw std::invalid_argument("families must be an object");
            for (const auto& [family, fault] : value.items()) {
                bool known = false;
                for (const char* name : familyNames) known = known || family == name;
                if (!known) throw std::invalid_argument("unknown family " + family);
                if (!fault.is_object() || !fault.contains("rate") || !fault["rate"].is_number())
                    throw std::invalid_argument("a family fault needs a numeric rate");
                const double rate = fault["rate"].get<double>();
                if (rate < 0 || rate > 1) throw std::invalid_argument("rate must lie in 0..1");
                families[family] = {.rate = rate, .kind = kindFromText(fault.value("kind", std::string("5xx")))};
            }
        } else {
            throw std::invalid_argument("unknown fault switch " + key);
        }
    }
    const std::lock_guard lock(mutex_);
    latencyMilliseconds_ = latency;
    tokenLifetimeSeconds_ = lifetime;
    if (seed) random_.seed(*seed);
    for (auto& [family, fault] : families) {
        if (fault.rate == 0) {
            families_.erase(family);
        } else {
            families_[family] = fault;
        }
    }
}

nlohmann::json DevFaults::describe() const {
    const std::lock_guard lock(mutex_);
    nlohmann::json families = nlohmann::json::object();
    for (const auto& [family, fault] : families_) families[family] = {{"rate", fault.rate}, {"kind", textOf(fault.kind)}};
    return {{"latency_ms", latencyMilliseconds_}, {"token_lifetime", tokenLifetimeSeconds_}, {"families", families}};
}

int DevFaults::latencyMilliseconds() const {
    const std::lock_guard lock(mutex_);
    return latencyMilliseconds_;
}

int DevFaults::tokenLifetimeSeconds() const {
    const std::lock_guard lock(mutex_);
    return tokenLifetimeSeconds_;
}

std::optional<FaultKind> DevFaults::draw(const std::string& family) {
    const std::lock_guard lock(mutex_);
    const auto found = families_.find(family);
    if (found == families_.end()) return std::nullopt;
    if (std::uniform_real_distribution<double>(0, 1)(random_) >= found->second.rate) return std::nullopt;
    return found->second.kind;
}

std::string DevFaults::familyOf(const std::string& path) {
    auto startsWith = [&](const char* prefix) { return path.rfind(prefix, 0) == 0; };
    if (startsWith("/oauth/")) return "oauth";
    if (startsWith("/users/me/my_volumes")) return "volumes";
    if (startsWith("/users/") || startsWith("/enterprises/")) return "users";
    if (startsWith("/folders/0/search") || startsWith("/trash_items/")) return "search";
    if (startsWith("/folders") || startsWith("/items/")) return "items";
    if (startsWith("/files/s3/")) return "upload";
    if (startsWith("/files/")) return "download";
    if (startsWith("/storage/")) return "storage";
    if (startsWith("/events")) return "events";
    return {};
}

}  // namespace DevServer

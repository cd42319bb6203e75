#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

namespace DevServer {

// How a failing request fails.
enum class FaultKind { serverError, tooManyRequests, closeMidBody };

struct FamilyFault {
    double rate = 0;  // 0..1
    FaultKind kind = FaultKind::serverError;
};

// Switches that make the server misbehave on purpose; set by options and at run time
// through POST /_dev/faults.
class DevFaults {
public:
    // {"latency_ms": 0, "token_lifetime": 7200, "seed": 1,
    //  "families": {"items": {"rate": 0.5, "kind": "5xx" | "429" | "close"}}}
    // Throws std::invalid_argument on an unknown key, family or kind, or a value out of range.
    void apply(const nlohmann::json& settings);
    [[nodiscard]] nlohmann::json describe() const;

    [[nodiscard]] int latencyMilliseconds() const;
    [[nodiscard]] int tokenLifetimeSeconds() const;
    // The failure to inflict on this request of `family`, if any.
    [[nodiscard]] std::optional<FaultKind> draw(const std::string& family);

    // The families the switches know: the first segment of the request path decides.
    static std::string familyOf(const std::string& path);

private:
    mutable std::mutex mutex_;
    int latencyMilliseconds_ = 0;
    int tokenLifetimeSeconds_ = 7200;
    std::map<std::string, FamilyFault> families_;
    std::mt19937_64 random_{1};
};

}  // namespace DevServer

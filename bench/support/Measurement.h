#pragma once

#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <type_traits>
#include <vector>

namespace BenchSupport {

// Of this process so far: the peak resident size, and user plus system CPU time.
long peakKiB();
double cpuSeconds();

double secondsSince(std::chrono::steady_clock::time_point start);

namespace detail {
// Forks; the child runs `variant` into a buffer of `size` bytes and sends it back.
[[nodiscard]] bool runInChild(void* outcome, std::size_t size, const std::function<void(void*)>& variant);
}  // namespace detail

// Runs `variant` in a child process of its own, so the peak memory and CPU time it
// reports are its own, and reads its outcome back through a pipe. nullopt when the
// child sent nothing whole (it crashed).
//
//   const auto plain = BenchSupport::isolated([&] { return plainGet(url); });
template <class Variant, class Outcome = std::invoke_result_t<Variant&>>
[[nodiscard]] std::optional<Outcome> isolated(Variant&& variant) {
    static_assert(std::is_trivially_copyable_v<Outcome>, "the outcome crosses a pipe as bytes");
    Outcome outcome{};
    const bool reported = detail::runInChild(&outcome, sizeof outcome, [&](void* out) {
        const Outcome result = variant();
        std::memcpy(out, &result, sizeof result);
    });
    if (!reported) return std::nullopt;
    return outcome;
}

// The median of the rounds and their range.
struct Spread {
    double median = 0;
    double lowest = 0;
    double highest = 0;
};
[[nodiscard]] Spread spread(std::vector<double> values);
[[nodiscard]] inline double median(std::vector<double> values) { return spread(std::move(values)).median; }

}  // namespace BenchSupport

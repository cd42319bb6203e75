#pragma once

#include <array>
#include <iterator>
#include <type_traits>
#include <optional>
#include <string_view>
#include <utility>

namespace Platform {

// Raw values of an enumeration, declared once per enum:
//   template <> struct RawValues<APIMethod> {
//       static constexpr std::string_view typeName = "APIMethod";
//       static constexpr std::pair<APIMethod, std::string_view> table[] = {{APIMethod::GET, "GET"}, ...};
//   };
template <class E>
struct RawValues;

template <class E>
concept RawRepresentable = requires { RawValues<E>::table; };

template <RawRepresentable E>
using RawValueType = std::remove_cvref_t<decltype(std::begin(RawValues<E>::table)->second)>;

template <RawRepresentable E>
constexpr RawValueType<E> rawValue(E value) {
    for (const auto& [e, raw] : RawValues<E>::table) {
        if (e == value) return raw;
    }
    return RawValueType<E>{};
}

// The case whose raw value equals `raw` exactly; no value for anything else.
template <RawRepresentable E, class R>
[[nodiscard]] constexpr std::optional<E> fromRawValue(const R& raw) {
    for (const auto& [e, candidate] : RawValues<E>::table) {
        if (candidate == raw) return e;
    }
    return std::nullopt;
}

// Every case, in declaration order.
template <RawRepresentable E>
constexpr auto allCases() {
    std::array<E, std::size(RawValues<E>::table)> cases{};
    std::size_t i = 0;
    for (const auto& entry : RawValues<E>::table) cases[i++] = entry.first;
    return cases;
}

}  // namespace Platform

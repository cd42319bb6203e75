#pragma once

#include <optional>
#include <string>

#include "Platform/json/JSONDecoder.h"

namespace TestSupport {

// The exception of type E that `f` threw; none when it returned (or threw another type).
template <class E, class F>
std::optional<E> thrown(F&& f) {
    try {
        f();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

// The kind of DecodingError that decoding `json` as T ends in; none when it decodes.
template <class T>
std::optional<Platform::DecodingError::Kind> decodingFailure(
    const std::string& json, const Platform::JSONDecoder& decoder = Platform::JSONDecoder::forAPIResponse()) {
    const auto error = thrown<Platform::DecodingError>([&] { (void)decoder.decode<T>(json); });
    return error ? std::optional(error->kind()) : std::nullopt;
}

}  // namespace TestSupport

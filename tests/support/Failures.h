#pragma once

#include <optional>
#include <string>

#include "Platform/json/JSONDecoder.h"

namespace TestSupport {

// The kind of DecodingError that decoding `json` as T ends in; none when it decodes.
template <class T>
std::optional<Platform::DecodingError::Kind> decodingFailure(
    const std::string& json, const Platform::JSONDecoder& decoder = Platform::JSONDecoder::forAPIResponse()) {
    try {
        (void)decoder.decode<T>(json);
    } catch (const Platform::DecodingError& error) {
        return error.kind();
    }
    return std::nullopt;
}

}  // namespace TestSupport

#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "Platform/core/Data.h"
#include "Platform/core/Result.h"
#include "Platform/json/JSONSerializationError.h"

namespace Platform {

// Request bodies: JSON text, pretty-printed (indented, one member per line).
// Strings that are not valid UTF-8 throw nlohmann::json::type_error.
inline std::string prettyPrintedJSON(const nlohmann::json& value) { return value.dump(2); }

// prettyPrintedJSON, with the serializer's refusal as a typed error instead of an exception.
[[nodiscard]] inline Result<Data> prettyPrintedJSONData(const nlohmann::json& value) {
    try {
        return Data(value.dump(2));
    } catch (const nlohmann::json::exception& error) {
        return Result<Data>::failure(JSONSerializationError(error.what()));
    }
}

}  // namespace Platform

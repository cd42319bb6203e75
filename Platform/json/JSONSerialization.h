#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace Platform {

// Request bodies: JSON text, pretty-printed (indented, one member per line).
// Strings that are not valid UTF-8 throw nlohmann::json::type_error.
inline std::string prettyPrintedJSON(const nlohmann::json& value) { return value.dump(2); }

}  // namespace Platform

#pragma once

#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

struct QUILLO_EXPORT URLQueryItem {
    std::string name;
    // Absent for a bare name ("flag"), empty for "flag=".
    std::optional<std::string> value;

    // "name=value", or the bare name when there is no value.
    std::string description() const { return value ? name + '=' + *value : name; }

    bool operator==(const URLQueryItem&) const = default;
};

}  // namespace Platform

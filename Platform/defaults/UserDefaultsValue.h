#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {

// Bytes stored in user defaults. A type of its own so that data and strings, both
// std::string underneath, stay apart.
struct QUILLO_EXPORT UserDefaultsData {
    Data bytes;

    auto operator<=>(const UserDefaultsData&) const = default;
    bool operator==(const UserDefaultsData&) const = default;
};

// A value in user defaults. `std::string("x")` or a string literal is a string,
// a plain integer literal an integer.
using UserDefaultsValue = std::variant<std::string, UserDefaultsData, std::int64_t, double, bool, Date>;

}  // namespace Platform

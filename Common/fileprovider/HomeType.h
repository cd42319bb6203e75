#pragma once

#include <string_view>
#include <utility>

#include "Platform/core/RawValues.h"

namespace Common {

// The kind of a top-level folder, as listings report it in `home_type`.
enum class HomeType { myFolder, project };

}  // namespace Common

template <>
struct Platform::RawValues<Common::HomeType> {
    static constexpr std::string_view typeName = "HomeType";
    static constexpr std::pair<Common::HomeType, std::string_view> table[] = {
        {Common::HomeType::myFolder, "01"}, {Common::HomeType::project, "02"}};
};

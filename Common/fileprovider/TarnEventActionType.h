#pragma once

#include <string_view>
#include <utility>

#include "Platform/core/RawValues.h"

namespace Common {

// What an activity did to an item.
enum class TarnEventActionType { copy, create, modify, move, rename, restore, trash, unknown };

}  // namespace Common

template <>
struct Platform::RawValues<Common::TarnEventActionType> {
    using A = Common::TarnEventActionType;
    static constexpr std::string_view typeName = "TarnEventActionType";
    static constexpr std::pair<A, std::string_view> table[] = {
        {A::copy, "copy"},       {A::create, "create"},   {A::modify, "modify"}, {A::move, "move"},
        {A::rename, "rename"},   {A::restore, "restore"}, {A::trash, "trash"},   {A::unknown, "unknown"}};
};

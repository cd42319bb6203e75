#pragma once

#include <string_view>
#include <utility>

#include "Platform/core/RawValues.h"

namespace Common {

// What a user did to an item. Inside an event an action text the library does not know
// reads as `unknown`; on its own such a text fails to decode.
enum class TarnEventActionType { copy, create, modify, move, rename, restore, trash, unknown };

}  // namespace Common

template <>
struct Platform::RawValues<Common::TarnEventActionType> {
    using A = Common::TarnEventActionType;
    static constexpr std::string_view typeName = "TarnEventActionType";
    static constexpr std::pair<A, std::string_view> table[] = {
        {A::copy, "copy"},       {A::create, "create"},   {A::modify, "modify"}, {A::move, "move"},
        {A::rename, "rename"},   {A::restore, "restore"}, {A::trash, "trash"},   {A::unknown, "unknown"},
    };
};

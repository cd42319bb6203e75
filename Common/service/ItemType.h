#pragma once

#include <string_view>
#include <utility>

#include "Platform/core/RawValues.h"

namespace Common {

// The wire kind of every item-like record: items, listing entries, paths, entries.
enum class ItemType { file, folder };

}  // namespace Common

template <>
struct Platform::RawValues<Common::ItemType> {
    static constexpr std::string_view typeName = "ItemType";
    static constexpr std::pair<Common::ItemType, std::string_view> table[] = {
        {Common::ItemType::file, "file"}, {Common::ItemType::folder, "folder"}};
};

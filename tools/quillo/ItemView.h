#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Common/service/TarnItem.h"
#include "tools/quillo/Output.h"

namespace QuilloCli {

// "file", "folder": the wire word of an item's type.
[[nodiscard]] std::string typeName(Common::ItemType type);
// "/Docs/report.txt" from the item's path collection (the root left out); "-" without one.
[[nodiscard]] std::string pathOf(const Common::TarnItem& item);
// id, name, type, size, modified_at, parent_id and path: what scripts need of an item.
[[nodiscard]] nlohmann::json itemSummary(const Common::TarnItem& item);
// "Name:  value" lines of the same.
void showItemFields(const Output& out, const Common::TarnItem& item);

}  // namespace QuilloCli

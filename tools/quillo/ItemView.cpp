#include "tools/quillo/ItemView.h"

#include "Platform/core/RawValues.h"

namespace QuilloCli {

std::string typeName(Common::ItemType type) { return std::string(Platform::rawValue(type)); }

std::string pathOf(const Common::TarnItem& item) {
    if (!item.pathCollection) return "-";
    std::string path;
    for (const auto& folder : item.pathCollection->entries) {
        // The service's root is the first step of every path; "/" stands for it.
        if (folder.id == "0") continue;
        path += "/" + folder.name;
    }
    if (path.empty() || item.pathCollection->entries.empty() || item.pathCollection->entries.back().id != item.id) {
        path += "/" + item.name;
    }
    return path;
}

nlohmann::json itemSummary(const Common::TarnItem& item) {
    return {{"id", item.id},
            {"name", item.name},
            {"type", typeName(item.type)},
            {"size", item.size ? nlohmann::json(*item.size) : nlohmann::json(nullptr)},
            {"modified_at", jsonDate(item.modifiedAt)},
            {"parent_id", item.parent ? nlohmann::json(item.parent->id) : nlohmann::json(nullptr)},
            {"path", pathOf(item)}};
}

void showItemFields(const Output& out, const Common::TarnItem& item) {
    out.fields({{"Name", item.name},
                {"ID", item.id},
                {"Type", typeName(item.type)},
                {"Size", item.size ? humanSize(*item.size) + " (" + std::to_string(*item.size) + " bytes)" : "-"},
                {"Modified", humanDate(item.modifiedAt)},
                {"Path", pathOf(item)}});
}

}  // namespace QuilloCli

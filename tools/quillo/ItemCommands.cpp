// ls, stat: a folder's children through the listing pager, one item with its place.
#include "Common/fileprovider/VolumeRole.h"
#include "Common/service/ListingPager.h"
#include "Common/service/TarnItem.h"
#include "Common/service/TarnItemParameter.h"
#include "Platform/core/RawValues.h"
#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"
#include "tools/quillo/ItemView.h"

namespace QuilloCli {

namespace {

nlohmann::json optionalSize(const std::optional<std::int64_t>& size) {
    return size ? nlohmann::json(*size) : nlohmann::json(nullptr);
}

struct ListOptions {
    std::string folder = "0";
    std::uint64_t limit = 0;
};

void list(Context& context, const ListOptions& options) {
    context.requireSignIn();
    Common::ListingPager::Options paging;
    if (options.limit > 0) {
        paging.maximumEntries = options.limit;
        paging.windowSize = static_cast<std::int64_t>(std::min<std::uint64_t>(options.limit, paging.windowSize));
    }
    const auto entries = Common::ListingPager(context.connection(), options.folder, paging).all().get();
    const auto shown = options.limit > 0 && entries.size() > options.limit ? options.limit : entries.size();
    const auto& out = context.output();
    if (out.isJSON()) {
        auto array = nlohmann::json::array();
        for (std::size_t i = 0; i < shown; ++i) {
            const auto& entry = entries[i];
            array.push_back({{"id", entry.id},
                             {"name", entry.name},
                             {"type", typeName(entry.type)},
                             {"size", optionalSize(entry.size)},
                             {"modified_at", jsonDate(entry.modifiedAt)}});
        }
        out.json({{"folder", options.folder}, {"entries", std::move(array)}});
        return;
    }
    Table table({{"TYPE"}, {"SIZE", Alignment::right}, {"MODIFIED"}, {"ID", Alignment::right}, {"NAME"}});
    for (std::size_t i = 0; i < shown; ++i) {
        const auto& entry = entries[i];
        const bool folder = entry.type == Common::ItemType::folder;
        table.addRow({typeName(entry.type), folder || !entry.size ? "-" : humanSize(*entry.size), humanDate(entry.modifiedAt),
                      entry.id, folder ? entry.name + "/" : entry.name});
    }
    out.table(table);
}

void stat(Context& context, const std::string& identifier) {
    context.requireSignIn();
    const auto item = context.connection().makeAPICall(Common::WebService::TarnItemParameter(identifier), std::nullopt, false).get();
    const auto role = std::string(Common::description(item.volumeRole()));
    const auto& out = context.output();
    if (out.isJSON()) {
        auto volumes = nlohmann::json::array();
        for (const auto& volume : item.volumes.value_or(std::vector<Common::TarnVolume>{})) {
            volumes.push_back({{"id", volume.id ? nlohmann::json(*volume.id) : nlohmann::json(nullptr)},
                               {"item_id", volume.itemId},
                               {"name", volume.nameWithoutPrefix},
                               {"role", std::string(Common::description(volume.volumeRole()))}});
        }
        nlohmann::json parent = nullptr;
        if (item.parent) parent = {{"id", item.parent->id}, {"name", item.parent->name}};
        out.json({{"id", item.id},
                  {"name", item.name},
                  {"type", typeName(item.type)},
                  {"size", optionalSize(item.size)},
                  {"modified_at", jsonDate(item.modifiedAt)},
                  {"parent", std::move(parent)},
                  {"path", pathOf(item)},
                  {"role", role},
                  {"volumes", std::move(volumes)}});
        return;
    }
    std::string volumes;
    for (const auto& volume : item.volumes.value_or(std::vector<Common::TarnVolume>{})) {
        if (!volumes.empty()) volumes += ", ";
        volumes += volume.nameWithoutPrefix + " (" + std::string(Common::description(volume.volumeRole())) + ")";
    }
    out.fields({{"Name", item.name},
                {"ID", item.id},
                {"Type", typeName(item.type)},
                {"Size", item.size ? humanSize(*item.size) + " (" + std::to_string(*item.size) + " bytes)" : "-"},
                {"Modified", humanDate(item.modifiedAt)},
                {"Parent", item.parent ? item.parent->name + " (" + item.parent->id + ")" : "-"},
                {"Path", pathOf(item)},
                {"Role", role},
                {"Volumes", volumes.empty() ? "-" : volumes}});
}

}  // namespace

void addItemCommands(Commands& commands) {
    auto listing = std::make_shared<ListOptions>();
    auto* ls = commands.add("ls", "List a folder (default: the personal tree's root, 0)",
                            [listing](Context& context) { list(context, *listing); });
    ls->add_option("folder", listing->folder, "Folder ID")->capture_default_str();
    ls->add_option("--limit", listing->limit, "Show at most N entries")->check(CLI::PositiveNumber);

    auto identifier = std::make_shared<std::string>();
    auto* statCommand = commands.add("stat", "Show one item with its parent, path and volumes",
                                     [identifier](Context& context) { stat(context, *identifier); });
    statCommand->add_option("item", *identifier, "Item ID")->required();
}

}  // namespace QuilloCli

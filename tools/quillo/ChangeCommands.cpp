// mkdir, rename, mv, rm, search: changes to the tree, and finding items by name.
#include <algorithm>

#include "Common/service/CreateFolderParameter.h"
#include "Common/service/MoveParameter.h"
#include "Common/service/RenameParameter.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/TarnSearchFolderItemsParameter.h"
#include "Common/service/TrashParameter.h"
#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"
#include "tools/quillo/ItemView.h"

namespace QuilloCli {

namespace {

// A search never reads more than this many items, whatever --limit says.
constexpr std::uint64_t maximumSearchResults = 10'000;

Common::TarnItem fetchItem(const Context& context, const std::string& identifier) {
    return context.connection().makeAPICall(Common::WebService::TarnItemParameter(identifier), std::nullopt, false).get();
}

void showChanged(const Context& context, const Common::TarnItem& item, const std::string& what) {
    const auto& out = context.output();
    if (out.isJSON()) return out.json(itemSummary(item));
    out.line(what);
    showItemFields(out, item);
}

struct MkdirOptions {
    std::string parent;
    std::string name;
};

void mkdir(Context& context, const MkdirOptions& options) {
    context.requireSignIn();
    using Common::WebService::CreateFolderParameter;
    const auto body = CreateFolderParameter::bodyData(options.name, options.parent).value();
    const auto item = context.connection().makeAPICall(CreateFolderParameter(), body, false).get();
    showChanged(context, item, "Created folder " + item.name);
}

struct TwoArguments {
    std::string item;
    std::string second;
};

void rename(Context& context, const TwoArguments& options) {
    context.requireSignIn();
    using Common::WebService::RenameParameter;
    // The address differs for folders and files, so the item's kind is asked first.
    const auto current = fetchItem(context, options.item);
    const auto body = RenameParameter::bodyData(options.second).value();
    const auto item =
        context.connection().makeAPICall(RenameParameter(current.id, current.contentType()), body, false).get();
    showChanged(context, item, "Renamed " + current.name + " to " + item.name);
}

void move(Context& context, const TwoArguments& options) {
    context.requireSignIn();
    using Common::WebService::MoveParameter;
    const auto body = MoveParameter::bodyData(options.item, options.second).value();
    context.connection().makeAPICall(MoveParameter(), body, false).get();
    // The move answers nothing; the item as it is now shows where it went.
    showChanged(context, fetchItem(context, options.item), "Moved into folder " + options.second);
}

void trash(Context& context, const std::string& identifier) {
    context.requireSignIn();
    const auto item = fetchItem(context, identifier);
    context.connection()
        .makeAPICall(Common::WebService::TrashParameter(item.id, item.contentType()), std::nullopt, false)
        .get();
    const auto& out = context.output();
    if (out.isJSON()) {
        auto summary = itemSummary(item);
        summary["trashed"] = true;
        return out.json(summary);
    }
    out.line("Moved " + pathOf(item) + " (" + item.id + ") to the trash");
}

struct SearchOptions {
    std::string keyword;
    std::optional<std::string> folder;
    std::uint64_t limit = 0;
};

bool isUnder(const Common::TarnItem& item, const std::string& folder) {
    if (!item.pathCollection) return false;
    const auto& steps = item.pathCollection->entries;
    return std::any_of(steps.begin(), steps.end(), [&](const auto& step) { return step.id == folder && step.id != item.id; });
}

void search(Context& context, const SearchOptions& options) {
    context.requireSignIn();
    using Common::WebService::TarnSearchFolderItemsParameter;
    const auto wanted = options.limit > 0 ? std::min(options.limit, maximumSearchResults) : maximumSearchResults;
    std::vector<Common::TarnItem> found;
    std::int64_t offset = 0;
    // Window by window until the service has no more, or enough were found.
    while (found.size() < wanted) {
        const auto window =
            context.connection().makeAPICall(TarnSearchFolderItemsParameter(options.keyword, offset), std::nullopt, true).get();
        for (const auto& item : window.entries) {
            if (found.size() == wanted) break;
            if (!options.folder || isUnder(item, *options.folder)) found.push_back(item);
        }
        offset += static_cast<std::int64_t>(window.entries.size());
        if (window.entries.empty() || offset >= window.totalCount ||
            offset >= static_cast<std::int64_t>(maximumSearchResults)) {
            break;
        }
    }
    const auto& out = context.output();
    if (out.isJSON()) {
        auto entries = nlohmann::json::array();
        for (const auto& item : found) entries.push_back(itemSummary(item));
        return out.json({{"keyword", options.keyword}, {"entries", std::move(entries)}});
    }
    Table table({{"TYPE"}, {"SIZE", Alignment::right}, {"MODIFIED"}, {"ID", Alignment::right}, {"PATH"}});
    for (const auto& item : found) {
        const bool folder = item.type == Common::ItemType::folder;
        table.addRow({typeName(item.type), folder || !item.size ? "-" : humanSize(*item.size), humanDate(item.modifiedAt),
                      item.id, folder ? pathOf(item) + "/" : pathOf(item)});
    }
    out.table(table);
}

}  // namespace

void addChangeCommands(Commands& commands) {
    auto made = std::make_shared<MkdirOptions>();
    auto* mkdirCommand = commands.add("mkdir", "Create a folder", [made](Context& context) { mkdir(context, *made); });
    mkdirCommand->add_option("parent", made->parent, "Parent folder ID (0: the personal folder)")->required();
    mkdirCommand->add_option("name", made->name, "Name of the new folder")->required();

    auto renamed = std::make_shared<TwoArguments>();
    auto* renameCommand =
        commands.add("rename", "Give a file or folder a new name", [renamed](Context& context) { rename(context, *renamed); });
    renameCommand->add_option("item", renamed->item, "Item ID")->required();
    renameCommand->add_option("name", renamed->second, "New name")->required();

    auto moved = std::make_shared<TwoArguments>();
    auto* mvCommand = commands.add("mv", "Move a file or folder into another folder",
                                   [moved](Context& context) { move(context, *moved); });
    mvCommand->add_option("item", moved->item, "Item ID")->required();
    mvCommand->add_option("folder", moved->second, "Destination folder ID")->required();

    auto trashed = std::make_shared<std::string>();
    auto* rmCommand =
        commands.add("rm", "Move a file or folder to the trash", [trashed](Context& context) { trash(context, *trashed); });
    rmCommand->add_option("item", *trashed, "Item ID")->required();

    auto searched = std::make_shared<SearchOptions>();
    auto* searchCommand = commands.add("search", "Find items by name, best matches first (read 50 at a time)",
                                       [searched](Context& context) { search(context, *searched); });
    searchCommand->add_option("keyword", searched->keyword, "Words to look for")->required();
    searchCommand->add_option("--folder", searched->folder, "Only items inside this folder ID");
    searchCommand->add_option("--limit", searched->limit, "Show at most N items")->check(CLI::PositiveNumber);
}

}  // namespace QuilloCli

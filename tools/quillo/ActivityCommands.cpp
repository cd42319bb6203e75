// events, export-log: the service's activity feed, and this program's own log.
#include <filesystem>

#include "Common/fileprovider/EventPoller.h"
#include "Common/fileprovider/TarnEventsParameter.h"
#include "Common/local/LogExport.h"
#include "Platform/core/RawValues.h"
#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"
#include "tools/quillo/Interrupt.h"

namespace QuilloCli {

namespace {

nlohmann::json eventItem(const Common::TarnEventItem& item) {
    const auto orNull = [](const std::optional<std::string>& text) { return text ? nlohmann::json(*text) : nlohmann::json(nullptr); };
    return {{"id", orNull(item.id)}, {"path", orNull(item.path)}, {"type", item.type}, {"project", orNull(item.projectName)}};
}

nlohmann::json eventJSON(const Common::TarnEvent& event) {
    return {{"performed_at", jsonDate(event.performedAt)},
            {"action", std::string(Platform::rawValue(event.action))},
            {"action_id", event.actionId ? nlohmann::json(*event.actionId) : nlohmann::json(nullptr)},
            {"user", {{"id", event.account.user.id}, {"name", event.account.user.name}}},
            {"app", event.access.app},
            {"item", eventItem(event.target.item)},
            {"to_item", event.target.toItem ? eventItem(*event.target.toItem) : nlohmann::json(nullptr)}};
}

std::vector<std::string> eventRow(const Common::TarnEvent& event) {
    const auto& item = event.target.item;
    std::string what = item.path.value_or(item.id.value_or("-"));
    if (event.target.toItem) what += " -> " + event.target.toItem->path.value_or(event.target.toItem->id.value_or("-"));
    return {humanDate(event.performedAt), std::string(Platform::rawValue(event.action)), event.account.user.name,
            item.id.value_or("-"), what};
}

Table eventTable() {
    return Table({{"WHEN"}, {"ACTION"}, {"USER"}, {"ID", Alignment::right}, {"ITEM"}});
}

struct EventsOptions {
    bool follow = false;
    int interval = 5;
};

void latest(Context& context) {
    const auto events =
        context.connection().makeAPICall(Common::WebService::TarnEventsParameter(), std::nullopt, true).get();
    const auto& out = context.output();
    if (out.isJSON()) {
        auto array = nlohmann::json::array();
        for (const auto& event : events) array.push_back(eventJSON(event));
        return out.json({{"events", std::move(array)}});
    }
    auto table = eventTable();
    for (const auto& event : events) table.addRow(eventRow(event));
    out.table(table);
}

// Until Ctrl-C: one line per event as it arrives (one JSON document per line with --json).
void follow(Context& context, const EventsOptions& options) {
    Interrupt::watch();
    const auto& out = context.output();
    Common::EventPoller::Options polling;
    polling.minimumInterval = std::chrono::seconds(options.interval);
    polling.onError = [](const Platform::ErrorPtr& error) {
        std::fprintf(stderr, "quillo: %s (trying again)\n", messageFor(*error).c_str());
    };
    Common::EventPoller poller(
        context.connection(),
        [&out](std::vector<Common::TarnEvent> events) {
            for (const auto& event : events) {
                if (out.isJSON()) {
                    std::printf("%s\n", eventJSON(event).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
                } else {
                    const auto row = eventRow(event);
                    std::printf("%s  %-8s %s  %s  %s\n", row[0].c_str(), row[1].c_str(), row[2].c_str(), row[3].c_str(),
                                row[4].c_str());
                }
            }
            std::fflush(stdout);
        },
        polling);
    poller.start();
    while (!Interrupt::waitFor(std::chrono::hours(1))) {
    }
    poller.stop();
}

void events(Context& context, const EventsOptions& options) {
    context.requireSignIn();
    if (options.follow) return follow(context, options);
    latest(context);
}

void exportLog(Context& context, const std::string& path) {
    Common::exportOSLog(std::filesystem::path(path));
    const auto bytes = std::filesystem::file_size(path);
    const auto& out = context.output();
    if (out.isJSON()) return out.json({{"path", path}, {"bytes", bytes}});
    out.line("Wrote this run's log to " + path + " (" + humanSize(static_cast<std::int64_t>(bytes)) + ")");
}

}  // namespace

void addActivityCommands(Commands& commands) {
    auto watched = std::make_shared<EventsOptions>();
    auto* eventsCommand = commands.add("events", "Show the latest activity; --follow keeps watching until Ctrl-C",
                                       [watched](Context& context) { events(context, *watched); });
    eventsCommand->add_flag("--follow", watched->follow, "Keep polling for new events until Ctrl-C");
    eventsCommand->add_option("--interval", watched->interval, "Seconds between polls while the feed is busy")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();

    auto target = std::make_shared<std::string>();
    auto* exportCommand = commands.add("export-log", "Write this process's log to FILE, in the support format",
                                       [target](Context& context) { exportLog(context, *target); });
    exportCommand->add_option("file", *target, "File to write")->required();
}

}  // namespace QuilloCli

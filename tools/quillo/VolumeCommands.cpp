// volumes: the shared project folders the signed-in user belongs to.
#include "Common/fileprovider/MyVolumesParameter.h"
#include "Common/fileprovider/VolumeRole.h"
#include "tools/quillo/Commands.h"

namespace QuilloCli {

namespace {

void volumes(Context& context) {
    context.requireSignIn();
    const auto answer = context.connection().makeAPICall(Common::WebService::MyVolumesParameter(), std::nullopt, false).get();
    const auto& out = context.output();
    if (out.isJSON()) {
        auto array = nlohmann::json::array();
        for (const auto& volume : answer.volumes.entries) {
            array.push_back({{"id", volume.id ? nlohmann::json(*volume.id) : nlohmann::json(nullptr)},
                             {"item_id", volume.itemId},
                             {"name", volume.nameWithoutPrefix},
                             {"role", std::string(Common::description(volume.volumeRole()))},
                             {"modified_at", jsonDate(volume.modifiedAt)}});
        }
        out.json({{"total_count", answer.volumes.totalCount}, {"volumes", std::move(array)}});
        return;
    }
    Table table({{"ID", Alignment::right}, {"FOLDER", Alignment::right}, {"ROLE"}, {"MODIFIED"}, {"NAME"}});
    for (const auto& volume : answer.volumes.entries) {
        table.addRow({volume.id ? std::to_string(*volume.id) : "-", volume.itemId,
                      std::string(Common::description(volume.volumeRole())), humanDate(volume.modifiedAt),
                      volume.nameWithoutPrefix});
    }
    out.table(table);
}

}  // namespace

void addVolumeCommands(Commands& commands) {
    commands.add("volumes", "List the shared project folders you belong to", volumes);
}

}  // namespace QuilloCli

#include <gtest/gtest.h>

#include "Common/fileprovider/HomeType.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/fileprovider/TarnRole.h"
#include "Common/service/TarnItem.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/log/LogStore.h"
#include "tests/service/ItemJSON.h"

using namespace Common;
using ItemJSON::Shape;
using ItemJSON::volumes;
using R = Common::VolumeRole;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();

TEST(VolumeRole, DecisionForAnItem) {
    const std::string uninvited = "👺 VolumeRole.uninvited ", badRole = uninvited + "(TarnRole(rawValue: myRole) is nil)";
    const std::tuple<Shape, R, std::string> rows[] = {  // an empty line: nothing logged
        {{.id = "5", .name = "Loose"}, R::uninvited, uninvited + "Loose (5)"},
        {{.id = "5", .name = "Top", .path = "-"}, R::uninvited, uninvited + "Top (5)"},
        {{.id = "6", .name = "Mine", .path = "", .home = "true"}, R::uninvited, uninvited + "Mine (01)"},
        {{.path = "--"}, R::owner, "👺 VolumeRole.owner"},
        {{.path = "---", .volumes = volumes({3})}, R::owner, "👺 VolumeRole.owner"},
        {{.path = "-V"}, R::uninvited, uninvited + "(volumes is nil)"},
        {{.path = "-V-", .volumes = R"([{"my_role":2}])"}, R::uninvited, uninvited + "(volumes is nil)"},
        {{.path = "-V", .volumes = "[]"}, R::uninvited, uninvited + "(tarnVolumes.first is nil)"},
        {{.path = "-V", .volumes = volumes({std::nullopt, 2})}, R::uninvited, uninvited + "(tarnVolume.myRole is nil)"},
        {{.path = "-V", .volumes = volumes({6})}, R::uninvited, badRole},
        {{.path = "-V", .volumes = volumes({-2})}, R::uninvited, badRole},
        {{.path = "-V", .volumes = volumes({-1})}, R::uninvited, ""},
        {{.path = "-V", .volumes = volumes({0})}, R::owner, ""},
        {{.path = "-V-", .volumes = volumes({2, 0})}, R::editor, ""},
        {{.path = "-V", .volumes = volumes({5, std::nullopt})}, R::uploader, ""},
    };
    for (const auto& [shape, expected, line] : rows) {
        const auto item = api.decode<TarnItem>(ItemJSON::item(shape));
        Platform::LogStore::shared().clear();
        EXPECT_EQ(item.volumeRole(), expected) << ItemJSON::item(shape);
        std::vector<std::string> lines;
        for (const auto& entry : Platform::LogStore::shared().entries()) {
            if (entry.category == "VolumeRole" && entry.level == Platform::LogLevel::debug) {
                lines.push_back(entry.composedMessage);
            }
        }
        EXPECT_EQ(lines, line.empty() ? std::vector<std::string>{} : std::vector{line}) << ItemJSON::item(shape);
    }
}

TEST(VolumeRole, CapabilityTable) {
    const std::tuple<R, std::uint32_t, std::uint32_t, std::uint32_t> rows[] = {
        {R::uninvited, 0, 0, 0},       {R::owner, 0x43, 0x6F, 0x6F},  {R::manager, 0x43, 0x6F, 0x6F},
        {R::editor, 0x43, 0x6F, 0x6F}, {R::viewer, 0x41, 0x41, 0x41}, {R::previewer, 0x41, 0x41, 0x40},
        {R::uploader, 0x43, 0x43, 0x40},
    };
    static_assert(std::size(rows) == Platform::allCases<R>().size());
    for (const auto& [role, folder, inheritedFolder, inheritedFile] : rows) {
        EXPECT_EQ(folderCapabilities(role).rawValue, folder) << description(role);
        EXPECT_EQ(inheritedFolderCapabilities(role).rawValue, inheritedFolder) << description(role);
        EXPECT_EQ(inheritedFileCapabilities(role).rawValue, inheritedFile) << description(role);
    }
}

// Raw values as VolumeRole, as TarnRole, and as a volume's `my_role`.
TEST(VolumeRole, RawValuesNamesAndServiceRoles) {
    const std::tuple<std::int64_t, std::optional<R>, const char*> rows[] = {
        {-2, std::nullopt, ""},     {-1, R::uninvited, "uninvited"}, {0, R::owner, "owner"},
        {1, R::manager, "manager"}, {2, R::editor, "editor"},        {3, R::viewer, "viewer"},
        {4, R::previewer, "previewer"}, {5, R::uploader, "uploader"}, {6, std::nullopt, ""},
    };
    const auto volumeWith = [](const std::string& member) {
        return api.decode<TarnVolume>(R"({"item_id":"9","name_without_prefix":"P")" + member + "}").volumeRole();
    };
    for (const auto& [raw, role, name] : rows) {
        EXPECT_EQ(Platform::fromRawValue<R>(raw), role) << raw;
        const auto tarnRole = Platform::fromRawValue<TarnRole>(raw);
        EXPECT_EQ(tarnRole ? std::optional(volumeRole(*tarnRole)) : std::nullopt, role) << raw;
        EXPECT_EQ(role ? description(*role) : "", name);
        EXPECT_EQ(volumeWith(R"(,"my_role":)" + std::to_string(raw)), role.value_or(R::uninvited)) << raw;
    }
    EXPECT_EQ(volumeWith(""), R::uninvited);
    EXPECT_EQ(volumeWith(R"(,"my_role":null)"), R::uninvited);
}

TEST(TarnMyVolumes, AnswerShapes) {
    std::string partial = R"({"can_comment":true)";  // every permission but can_upload
    for (const char* name : {"copy", "delete", "delete_volume", "download", "edit_contents", "edit_metadata", "invite",
                             "leave_volume", "move", "preview", "rename", "rename_volume", "send_item_box", "share"}) {
        partial += R"(,"can_)" + std::string(name) + R"(":false)";
    }
    const auto answer = [](const std::string& entries) { return R"({"volumes":{"total_count":1,"entries":[)" + entries + "]}}"; };
    const std::string full = R"({"item_id":"900","name_without_prefix":"A","volume_users":{"entries":[{"user_id":8,)"
                             R"("permissions":)" + partial + R"(,"can_upload":true}}]},"my_role":2})";
    const std::pair<std::string, std::optional<std::size_t>> rows[] = {  // no count: fails to decode
        {R"({"volumes":{"total_count":0,"entries":[]}})", 0},
        {answer(full + R"(,{"item_id":"901","name_without_prefix":"B"})"), 2},
        {R"({"total_count":0,"entries":[]})", std::nullopt},
        {R"({"volumes":{"entries":[]}})", std::nullopt},
        {answer(R"({"item_id":"901"})"), std::nullopt},
        {answer(R"({"item_id":"9","name_without_prefix":"B","my_permissions":)" + partial + "}}"), std::nullopt},
    };
    for (const auto& [json, count] : rows) {
        try {
            const auto volumes = api.decode<TarnMyVolumes>(json).volumes.entries;
            ASSERT_EQ(volumes.size(), count) << json;
            if (*count == 0) continue;
            EXPECT_TRUE(volumes[0].volumeUsers->entries->at(0).permissions->canUpload);
            EXPECT_EQ(volumes[0].volumeRole(), R::editor);
        } catch (const Platform::DecodingError& e) {
            EXPECT_FALSE(count) << json << ": " << e.what();
        }
    }
}

TEST(HomeType, DecodesOnlyItsTwoValues) {
    const std::pair<const char*, std::optional<HomeType>> rows[] = {
        {R"("01")", HomeType::myFolder}, {R"("02")", HomeType::project}, {R"("03")", std::nullopt}, {"1", std::nullopt}};
    for (const auto& [json, expected] : rows) {
        try {
            EXPECT_EQ(api.decode<HomeType>(json), expected) << json;
        } catch (const Platform::DecodingError&) {
            EXPECT_FALSE(expected) << json;
        }
    }
}

}  // namespace

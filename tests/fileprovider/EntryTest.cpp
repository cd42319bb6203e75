#include <gtest/gtest.h>

#include <cmath>
#include <typeindex>

#include "Common/fileprovider/CapabilitiesDescription.h"
#include "Common/fileprovider/EntryError.h"
#include "Common/fileprovider/FileEntry.h"
#include "Common/fileprovider/FolderEntry.h"
#include "Common/fileprovider/HomeType.h"
#include "Common/fileprovider/MyFolderEntry.h"
#include "Common/fileprovider/ProjectFolderEntry.h"
#include "Common/fileprovider/RootEntry.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/fileprovider/TarnRole.h"
#include "Common/fileprovider/TarnVolume.h"
#include "Common/service/LSItem.h"
#include "Common/service/TarnItem.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/service/ItemJSON.h"
#include "tests/support/Failures.h"
#include "tests/support/LogLines.h"

using namespace Common;
using ItemJSON::Shape;
using ItemJSON::volumes;
using R = Common::VolumeRole;

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();
const std::string root = rootContainerItemIdentifier();

struct Expected {
    std::type_index kind;
    std::string identifier, parent;
    std::optional<VolumeRole> role;
    std::uint32_t capabilities;
};

void expectEntry(const Entry& entry, const Expected& e, const std::string& context) {
    EXPECT_EQ(std::type_index(typeid(entry)), e.kind) << context;
    EXPECT_EQ(entry.identifier(), e.identifier) << context;
    EXPECT_EQ(entry.parentIdentifier(), e.parent) << context;
    EXPECT_EQ(entry.volumeRole(), e.role) << context;
    EXPECT_EQ(entry.capabilities().rawValue, e.capabilities) << context;
    EXPECT_EQ(entry.type(), e.kind == typeid(FileEntry) ? ItemType::file : ItemType::folder) << context;
    EXPECT_EQ(entry.version(), Version::zero) << context;
}

TEST(Entry, RootEntry) {
    const auto before = Platform::Date::now();
    const RootEntry entry;
    expectEntry(entry, {typeid(RootEntry), root, root, std::nullopt, 0x41}, "root");
    EXPECT_TRUE(entry.name() == "/" && !entry.size());
    EXPECT_TRUE(entry.modifiedAt() >= before && entry.modifiedAt() <= Platform::Date::now());
}

TEST(Entry, BuiltFromItems) {
    const std::pair<Shape, Expected> rows[] = {
        {{.id = "0", .home = "true"}, {typeid(MyFolderEntry), "01", root, R::owner, 0x43}},
        {{.id = "0", .path = "", .home = "true"}, {typeid(MyFolderEntry), "01", root, R::owner, 0x43}},
        {{.id = "88", .parent = "0", .path = "-V", .volumes = volumes({3})}, {typeid(ProjectFolderEntry), "88", root, R::viewer, 0x41}},
        {{.id = "88", .parent = "0", .path = "-V"}, {typeid(ProjectFolderEntry), "88", root, R::uninvited, 0}},
        {{.type = "file", .id = "7", .parent = "0", .path = "--"}, {typeid(FileEntry), "7", "01", R::owner, 0x6F}},
        {{.type = "file", .id = "7", .parent = "88", .path = "-V-", .volumes = volumes({4})},
         {typeid(FileEntry), "7", "88", R::previewer, 0x40}},
        {{.type = "file", .id = "7", .parent = "88"}, {typeid(FileEntry), "7", "88", R::uninvited, 0}},
        {{.id = "9", .parent = "0", .path = "--"}, {typeid(FolderEntry), "9", "01", R::owner, 0x6F}},
        {{.id = "9", .parent = "88", .path = "-V-", .volumes = volumes({5})}, {typeid(FolderEntry), "9", "88", R::uploader, 0x43}},
    };
    for (const auto& [shape, expected] : rows) {
        const auto json = ItemJSON::item(shape);
        const auto item = api.decode<TarnItem>(json);
        const auto entry = item.entry();
        expectEntry(*entry, expected, json);
        EXPECT_EQ(entry->name(), item.home ? "My Folder" : item.name) << json;
        EXPECT_TRUE(entry->modifiedAt() == item.modifiedAt && entry->size() == item.size) << json;
    }
}

// Entries built with a given parent and role, from listings, volumes, and bare.
TEST(Entry, BuiltWithGivenParts) {
    const auto item = [](const Shape& shape) { return api.decode<TarnItem>(ItemJSON::item(shape)); };
    const auto listed = [](const char* type) {
        return api.decode<LSItem>(std::string(R"({"id":"01","name":"n","type":")") + type + R"(","home_type":"01"})");
    };
    const auto volume = [](const std::string& role) {
        return api.decode<TarnVolume>(R"({"item_id":"900","name_without_prefix":"Alpha")" + role + "}");
    };
    const std::pair<std::shared_ptr<Entry>, Expected> rows[] = {
        {item({.type = "file", .id = "7", .parent = "88", .path = "-V-", .volumes = volumes({3})}).entry("P", R::editor),
         {typeid(FileEntry), "7", "P", R::editor, 0x6F}},
        {item({.id = "0", .home = "true"}).entry("P", R::viewer), {typeid(MyFolderEntry), "01", "P", R::viewer, 0x41}},
        {listed("file").entry("F", R::uploader), {typeid(FileEntry), "01", "F", R::uploader, 0x40}},
        {listed("folder").entry("F", R::uploader), {typeid(FolderEntry), "01", "F", R::uploader, 0x43}},
        {volume("").entry(), {typeid(ProjectFolderEntry), "900", root, R::uninvited, 0}},
        {volume(R"(,"my_role":2)").entry(), {typeid(ProjectFolderEntry), "900", root, R::editor, 0x43}},
        {std::make_shared<MyFolderEntry>(), {typeid(MyFolderEntry), "", "", std::nullopt, 0}},
        {std::make_shared<FolderEntry>(), {typeid(FolderEntry), "", "", std::nullopt, 0}},
        {std::make_shared<FileEntry>(EntryFields{}), {typeid(FileEntry), "", "", std::nullopt, 0}},
    };
    for (const auto& [entry, expected] : rows) expectEntry(*entry, expected, entry->identifier());
    EXPECT_EQ(volume("").entry()->name(), "Alpha");
}

TEST(Version, FromDatesAndJSON) {
    using D = Platform::Date;
    const std::tuple<std::optional<D>, std::optional<D>, Version> rows[] = {
        {D{1.9}, std::nullopt, {1, 0}},
        {std::nullopt, D{1714555800.999}, {0, 1714555800}},
        {D{-1.5}, D{0.2}, {-1, 0}},
        {D{1e300}, D{std::nan("")}, {INT64_MAX, 0}},
    };
    for (const auto& [content, metadata, expected] : rows) {
        EXPECT_EQ(Version::fromDates(content, metadata), expected);
        EXPECT_EQ(Version::decoded(expected.encoded()), expected);
    }
    EXPECT_EQ(Version::zero.encoded(), R"({"content":0,"metadata":0})");
    for (const char* bad : {R"({"content":1})", R"({"content":"1","metadata":2})", "[]", "{"}) {
        EXPECT_THROW(Version::decoded(bad), Platform::DecodingError) << bad;
    }
}

TEST(CapabilitiesDescription, TextForm) {
    const std::pair<std::uint32_t, const char*> rows[] = {
        {0, "[]"}, {0x40, "[.allowsEvicting]"}, {0x90, "[.allowsTrashing, .allowsExcludingFromSync]"},
        {0x43, "[.allowsReading, .allowsWriting, .allowsEvicting, .allowsAddingSubItems, .allowsContentEnumerating]"},
        {0x6F, "[.allowsReading, .allowsWriting, .allowsReparenting, .allowsRenaming, .allowsDeleting, .allowsEvicting, "
               ".allowsAddingSubItems, .allowsContentEnumerating]"},
    };
    for (const auto& [bits, text] : rows) EXPECT_EQ(description(Platform::FileProviderItemCapabilities{bits}), text);
}

TEST(Entry, DebugDescription) {
    EXPECT_EQ(FolderEntry({.identifier = "9", .parentIdentifier = "01", .name = "Docs"}).debugDescription(),
              "identifier: 9 parentEntryIdentifier: 01 name: Docs type: folder modifiedAt: nil size: nil");
    EXPECT_EQ(FileEntry({.identifier = "7", .parentIdentifier = "9", .name = "a b.csv",
                         .modifiedAt = Platform::Date{1714555800.5}, .size = 1234}).debugDescription(),
              "identifier: 7 parentEntryIdentifier: 9 name: a b.csv type: file modifiedAt: 2024-05-01T09:30:00Z size: 1234");
    EXPECT_EQ(EntryError::notFoundVolumeRole().errorDescription(), "Not found volume role");
}

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
        const auto since = Platform::Date::now();
        EXPECT_EQ(item.volumeRole(), expected) << ItemJSON::item(shape);
        EXPECT_EQ(TestSupport::logLines({.category = "VolumeRole", .level = Platform::LogLevel::debug, .since = since}),
                  line.empty() ? std::vector<std::string>{} : std::vector{line})
            << ItemJSON::item(shape);
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
        ASSERT_EQ(TestSupport::decodingFailure<TarnMyVolumes>(json).has_value(), !count) << json;
        if (!count) continue;
        const auto volumes = api.decode<TarnMyVolumes>(json).volumes.entries;
        ASSERT_EQ(volumes.size(), count) << json;
        if (*count == 0) continue;
        EXPECT_TRUE(volumes[0].volumeUsers->entries->at(0).permissions->canUpload);
        EXPECT_EQ(volumes[0].volumeRole(), R::editor);
    }
}

TEST(HomeType, DecodesOnlyItsTwoValues) {
    const std::pair<const char*, std::optional<HomeType>> rows[] = {
        {R"("01")", HomeType::myFolder}, {R"("02")", HomeType::project}, {R"("03")", std::nullopt}, {"1", std::nullopt}};
    for (const auto& [json, expected] : rows) {
        EXPECT_EQ(TestSupport::decodingFailure<HomeType>(json).has_value(), !expected) << json;
        if (expected) {
            EXPECT_EQ(api.decode<HomeType>(json), *expected) << json;
        }
    }
}

}  // namespace

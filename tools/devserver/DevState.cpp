#include "DevState.h"

#include <algorithm>

namespace DevServer {

bool allows(Role role, Access access) {
    switch (access) {
    case Access::enumerate:
        return true;
    case Access::preview:
        return role != Role::uploader;
    case Access::read:
        return role != Role::uploader && role != Role::previewer;
    case Access::write:
        return role != Role::viewer && role != Role::previewer;
    case Access::edit:
        return role == Role::owner || role == Role::manager || role == Role::editor;
    }
    return false;
}

void DevState::seed(double now) {
    const double day = 86400;
    users = {
        {.id = 1, .accountId = 1, .login = "alice", .name = "Alice Adler", .password = "alice-pass", .role = "owner",
         .type = "owner", .email = "alice@fernwald.example", .homeId = "100"},
        {.id = 2, .accountId = 1, .login = "bob", .name = "Bob Brandt", .password = "bob-pass", .role = "general",
         .type = "user", .email = "bob@fernwald.example", .homeId = "110"},
        {.id = 3, .accountId = 1, .login = "carol", .name = "Carol Cole", .password = "carol-pass", .role = "visitor",
         .type = "user", .homeId = "120"},
        {.id = 4, .accountId = 1, .login = "dave", .name = "Dave Dorn", .password = "dave-pass", .role = "partner",
         .type = "user", .email = "dave@partner.example", .onetimeToken = "123456", .homeId = "130"},
    };
    auto folder = [&](std::string id, std::string name, std::string parent, double age) {
        items[id] = {.id = id, .name = std::move(name), .folder = true, .parent = std::move(parent), .modifiedAt = now - age};
    };
    auto file = [&](std::string id, std::string name, std::string parent, double age, std::string text) {
        items[id] = {.id = id, .name = std::move(name), .parent = std::move(parent), .modifiedAt = now - age,
                     .size = static_cast<std::int64_t>(text.size())};
        contents[id] = std::move(text);
    };
    for (const auto& user : users) {
        folder(user.homeId, "My Folder", "", 30 * day);
        items[user.homeId].home = true;
    }
    folder("101", "Docs", "100", 5 * day);
    file("102", "report.txt", "101", 4 * day, "Quarterly report\n");
    file("103", "notes.md", "101", 2 * day, "# Notes\n- call Bob\n");
    file("104", "photo.jpg", "100", 1 * day, "not really a photo\n");
    file("105", "old.txt", "100", 10 * day, "outdated\n");
    file("111", "todo.txt", "110", 3 * day, "buy milk\n");
    folder("200", "Design", "", 20 * day);
    folder("201", "drafts", "200", 6 * day);
    file("202", "plan.txt", "201", 6 * day, "the plan\n");
    file("203", "logo.png", "200", 7 * day, "logo bytes\n");
    folder("300", "Sales", "", 15 * day);
    file("301", "q1.csv", "300", 9 * day, "month,total\njan,10\n");
    file("302", "q2.csv", "300", 8 * day, "month,total\napr,12\n");
    volumes = {
        {.id = 1, .itemId = "200", .name = "Design", .modifiedAt = now - 20 * day,
         .members = {{1, Role::owner}, {2, Role::viewer}, {3, Role::uploader}}},
        {.id = 2, .itemId = "300", .name = "Sales", .modifiedAt = now - 15 * day,
         .members = {{1, Role::manager}, {2, Role::editor}, {3, Role::previewer}}},
    };
    items["105"].trashed = true;
    trash.push_back({.id = nextTrashId++, .itemId = "105", .path = "/old.txt", .deletedAt = now - 9 * day});
    addEvent(1, "create", "101", std::nullopt, now - 5 * day);
    addEvent(1, "create", "102", std::nullopt, now - 4 * day);
    addEvent(1, "trash", "105", std::nullopt, now - 9 * day);
    addEvent(2, "modify", "301", std::nullopt, now - 2 * day);
    addEvent(1, "move", "202", std::string("201"), now - 1 * day);
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.performedAt < b.performedAt; });
    for (const auto& [id, bytes] : contents) dirtyBlobs.insert("c:" + id);
}

User* DevState::userByLogin(const std::string& login) {
    for (auto& user : users)
        if (user.login == login) return &user;
    return nullptr;
}

User* DevState::userById(std::int64_t id) {
    for (auto& user : users)
        if (user.id == id) return &user;
    return nullptr;
}

Item* DevState::item(const std::string& id) {
    const auto found = items.find(id);
    return found == items.end() ? nullptr : &found->second;
}

const Item* DevState::top(const std::string& id) const {
    auto found = items.find(id);
    // Bounded walk: a broken tree never loops.
    for (int depth = 0; found != items.end() && depth < 256; ++depth) {
        if (found->second.parent.empty()) return &found->second;
        found = items.find(found->second.parent);
    }
    return nullptr;
}

Volume* DevState::volumeOfTop(const std::string& topId) {
    for (auto& volume : volumes)
        if (volume.itemId == topId) return &volume;
    return nullptr;
}

std::optional<Role> DevState::roleFor(const User& user, const std::string& id) {
    const Item* root = top(id);
    if (root == nullptr) return std::nullopt;
    if (root->home) return root->id == user.homeId ? std::optional(Role::owner) : std::nullopt;
    const Volume* volume = volumeOfTop(root->id);
    if (volume == nullptr) return std::nullopt;
    const auto member = volume->members.find(user.id);
    return member == volume->members.end() ? std::nullopt : std::optional(member->second);
}

std::string DevState::pathOf(const std::string& id) const {
    std::vector<std::string> names;
    auto found = items.find(id);
    for (int depth = 0; found != items.end() && depth < 256; ++depth) {
        if (found->second.home) break;
        names.push_back(found->second.name);
        if (found->second.parent.empty()) break;
        found = items.find(found->second.parent);
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) path += "/" + *name;
    return path.empty() ? "/" : path;
}

std::vector<const Item*> DevState::childrenOf(const std::string& id) const {
    std::vector<const Item*> children;
    for (const auto& [key, child] : items)
        if (child.parent == id && !child.trashed) children.push_back(&child);
    return children;
}

void DevState::setContent(const std::string& id, std::string bytes) {
    contents[id] = std::move(bytes);
    dirtyBlobs.insert("c:" + id);
}

void DevState::setPart(const std::string& key, std::string bytes) {
    partData[key] = std::move(bytes);
    dirtyBlobs.insert("p:" + key);
}

void DevState::addEvent(std::int64_t userId, std::string action, const std::string& itemId,
                        std::optional<std::string> toItemId, double now) {
    // The feed keeps the latest 1000 actions.
    if (events.size() >= 1000) events.erase(events.begin());
    events.push_back({.userId = userId, .action = std::move(action), .itemId = itemId, .toItemId = std::move(toItemId),
                      .performedAt = now, .actionId = "act-" + std::to_string(nextId++)});
}

nlohmann::json DevState::snapshot() const {
    using nlohmann::json;
    json state{{"next_id", nextId}, {"next_trash_id", nextTrashId}};
    for (const auto& u : users)
        state["users"].push_back({{"id", u.id}, {"account_id", u.accountId}, {"login", u.login}, {"name", u.name},
                                  {"password", u.password}, {"role", u.role}, {"type", u.type},
                                  {"email", u.email ? json(*u.email) : json()},
                                  {"onetime_token", u.onetimeToken ? json(*u.onetimeToken) : json()},
                                  {"home_id", u.homeId}});
    for (const auto& [id, i] : items)
        state["items"].push_back({{"id", i.id}, {"name", i.name}, {"folder", i.folder}, {"parent", i.parent},
                                  {"modified_at", i.modifiedAt}, {"size", i.size}, {"home", i.home},
                                  {"trashed", i.trashed}});
    for (const auto& v : volumes) {
        json members = json::object();
        for (const auto& [user, role] : v.members) members[std::to_string(user)] = static_cast<int>(role);
        state["volumes"].push_back({{"id", v.id}, {"item_id", v.itemId}, {"name", v.name},
                                    {"modified_at", v.modifiedAt}, {"members", members}});
    }
    for (const auto& t : trash)
        state["trash"].push_back({{"id", t.id}, {"item_id", t.itemId}, {"path", t.path}, {"deleted_at", t.deletedAt}});
    for (const auto& e : events)
        state["events"].push_back({{"user_id", e.userId}, {"action", e.action}, {"item_id", e.itemId},
                                   {"to_item_id", e.toItemId ? json(*e.toItemId) : json()},
                                   {"performed_at", e.performedAt}, {"action_id", e.actionId}});
    for (const auto& [token, t] : accessTokens)
        state["access_tokens"][token] = {{"user_id", t.userId}, {"expires_at", t.expiresAt}};
    for (const auto& [token, user] : refreshTokens) state["refresh_tokens"][token] = user;
    for (const auto& [key, u] : uploads) {
        json parts = json::object();
        for (const auto& [number, p] : u.parts) parts[std::to_string(number)] = {{"etag", p.etag}, {"size", p.size}};
        state["uploads"].push_back({{"s3key", u.s3key}, {"user_id", u.userId}, {"target", u.target},
                                    {"modification", u.modification}, {"parts", parts}});
    }
    return state;
}

void DevState::restore(const nlohmann::json& s) {
    nextId = s.at("next_id").get<std::int64_t>();
    nextTrashId = s.at("next_trash_id").get<std::int64_t>();
    auto optionalText = [](const nlohmann::json& v) {
        return v.is_string() ? std::optional(v.get<std::string>()) : std::nullopt;
    };
    users.clear();
    for (const auto& u : s.value("users", nlohmann::json::array()))
        users.push_back({.id = u.at("id"), .accountId = u.at("account_id"), .login = u.at("login"), .name = u.at("name"),
                         .password = u.at("password"), .role = u.at("role"), .type = u.at("type"),
                         .email = optionalText(u.at("email")), .onetimeToken = optionalText(u.at("onetime_token")),
                         .homeId = u.at("home_id")});
    items.clear();
    for (const auto& i : s.value("items", nlohmann::json::array()))
        items[i.at("id")] = {.id = i.at("id"), .name = i.at("name"), .folder = i.at("folder"), .parent = i.at("parent"),
                             .modifiedAt = i.at("modified_at"), .size = i.at("size"), .home = i.at("home"),
                             .trashed = i.at("trashed")};
    volumes.clear();
    for (const auto& v : s.value("volumes", nlohmann::json::array())) {
        Volume volume{.id = v.at("id"), .itemId = v.at("item_id"), .name = v.at("name"), .modifiedAt = v.at("modified_at")};
        for (const auto& [user, role] : v.at("members").items())
            volume.members[std::stoll(user)] = static_cast<Role>(role.get<int>());
        volumes.push_back(std::move(volume));
    }
    trash.clear();
    for (const auto& t : s.value("trash", nlohmann::json::array()))
        trash.push_back({.id = t.at("id"), .itemId = t.at("item_id"), .path = t.at("path"), .deletedAt = t.at("deleted_at")});
    events.clear();
    for (const auto& e : s.value("events", nlohmann::json::array()))
        events.push_back({.userId = e.at("user_id"), .action = e.at("action"), .itemId = e.at("item_id"),
                          .toItemId = optionalText(e.at("to_item_id")), .performedAt = e.at("performed_at"),
                          .actionId = e.at("action_id")});
    accessTokens.clear();
    const auto access = s.value("access_tokens", nlohmann::json::object());
    for (const auto& [token, t] : access.items())
        accessTokens[token] = {.userId = t.at("user_id"), .expiresAt = t.at("expires_at")};
    refreshTokens.clear();
    const auto refresh = s.value("refresh_tokens", nlohmann::json::object());
    for (const auto& [token, user] : refresh.items())
        refreshTokens[token] = user.get<std::int64_t>();
    uploads.clear();
    for (const auto& u : s.value("uploads", nlohmann::json::array())) {
        Upload upload{.s3key = u.at("s3key"), .userId = u.at("user_id"), .target = u.at("target"),
                      .modification = u.at("modification")};
        for (const auto& [number, p] : u.at("parts").items())
            upload.parts[std::stoi(number)] = {.etag = p.at("etag"), .size = p.at("size")};
        uploads[upload.s3key] = std::move(upload);
    }
}

}  // namespace DevServer

#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace DevServer {

// Roles in a volume, with the service's raw numbers.
enum class Role : int { owner = 0, manager = 1, editor = 2, viewer = 3, previewer = 4, uploader = 5 };

// What a request wants to do with an item; each role allows a subset (see allows()).
enum class Access { enumerate, preview, read, write, edit };

[[nodiscard]] bool allows(Role role, Access access);

struct User {
    std::int64_t id = 0;
    std::int64_t accountId = 0;
    std::string login;
    std::string name;
    std::string password;
    std::string role;  // owner, general, visitor, partner
    std::string type;  // user, owner
    std::optional<std::string> email;
    std::optional<std::string> onetimeToken;  // when set, sign-in asks for it
    std::string homeId;
};

struct Item {
    std::string id;
    std::string name;
    bool folder = false;
    std::string parent;  // empty for a home folder or a volume's top folder
    double modifiedAt = 0;
    std::int64_t size = 0;
    bool home = false;
    bool trashed = false;
};

struct Volume {
    std::int64_t id = 0;
    std::string itemId;
    std::string name;
    double modifiedAt = 0;
    std::map<std::int64_t, Role> members;
};

struct TrashEntry {
    std::int64_t id = 0;
    std::string itemId;
    std::string path;  // names from the top folder, "/Docs/a.txt" or "/Design/plan.txt"
    double deletedAt = 0;
};

struct Part {
    std::string etag;  // quoted hex MD5
    std::int64_t size = 0;
};

struct Upload {
    std::string s3key;
    std::int64_t userId = 0;
    std::string target;  // the parent folder (new file) or the file (new contents)
    bool modification = false;
    std::map<int, Part> parts;
};

struct Token {
    std::int64_t userId = 0;
    double expiresAt = 0;
};

struct Event {
    std::int64_t userId = 0;
    std::string action;
    std::string itemId;
    std::optional<std::string> toItemId;
    double performedAt = 0;
    std::string actionId;
};

// The whole state of the service. Callers hold `mutex` for every access.
struct DevState {
    std::mutex mutex;

    std::vector<User> users;
    std::map<std::string, Item> items;
    std::map<std::string, std::string> contents;  // file id -> bytes
    std::vector<Volume> volumes;
    std::vector<TrashEntry> trash;
    std::vector<Event> events;
    std::map<std::string, Token> accessTokens;
    std::map<std::string, std::int64_t> refreshTokens;  // one use each
    std::map<std::string, Upload> uploads;
    std::map<std::string, std::string> partData;  // s3key + "#" + part number -> bytes
    std::int64_t nextId = 1000;
    std::int64_t nextTrashId = 1;

    // Keys of contents and parts changed since the last save, for the state file.
    std::set<std::string> dirtyBlobs;

    void seed(double now);

    User* userByLogin(const std::string& login);
    User* userById(std::int64_t id);
    Item* item(const std::string& id);
    // The top folder above an item (a home or a volume folder), or null when it is broken.
    const Item* top(const std::string& id) const;
    Volume* volumeOfTop(const std::string& topId);
    // The user's role for an item: owner in their home, their member role in a volume.
    std::optional<Role> roleFor(const User& user, const std::string& id);
    // The item's path as names under its top folder, "/Docs/a.txt".
    std::string pathOf(const std::string& id) const;
    std::vector<const Item*> childrenOf(const std::string& id) const;
    std::string newId() { return std::to_string(nextId++); }
    void setContent(const std::string& id, std::string bytes);
    void setPart(const std::string& key, std::string bytes);
    void addEvent(std::int64_t userId, std::string action, const std::string& itemId,
                  std::optional<std::string> toItemId, double now);

    // Snapshot for the state file (everything but the byte blobs and the access tokens).
    nlohmann::json snapshot() const;
    void restore(const nlohmann::json& snapshot);
};

}  // namespace DevServer

#include "DevServer.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <thread>

#include "Thumbnail.h"

namespace DevServer {
namespace {

using json = nlohmann::json;
using httplib::Request;
using httplib::Response;

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string iso(double seconds) {
    const double whole = std::floor(seconds);
    const auto time = static_cast<std::time_t>(whole);
    const int milliseconds = std::min(999, static_cast<int>((seconds - whole) * 1000));
    std::tm tm{};
    gmtime_r(&time, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, milliseconds);
    return text;
}

// "2024-01-02T03:04:05Z" or with a fraction; nothing else.
std::optional<double> parseISO(const std::string& text) {
    if (text.size() < 20 || text.size() > 32) return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, consumed = 0;
    double second = 0;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%lf%c%n", &year, &month, &day, &hour, &minute, &second, &zone,
                    &consumed) != 7 ||
        zone != 'Z' || consumed != static_cast<int>(text.size()) || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second < 0 || second >= 61)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return static_cast<double>(timegm(&tm)) + second;
}

std::string randomHex(std::size_t bytes) {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes; ++i) {
        const auto value = static_cast<unsigned>(generator() & 0xFF);
        text += digits[value >> 4];
        text += digits[value & 0xF];
    }
    return text;
}

std::string hex(const unsigned char* bytes, unsigned length) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

std::string md5Raw(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    return {reinterpret_cast<const char*>(digest), length};
}

std::string hmacHex(const std::string& key, const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(text.data()),
         text.size(), digest, &length);
    return hex(digest, length);
}

std::optional<std::string> base64Decode(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0 || text.size() > 64) return std::nullopt;
    unsigned char out[64];
    const int length = EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (length < 0) return std::nullopt;
    const auto padding = static_cast<int>(std::count(text.end() - 2, text.end(), '='));
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length - padding));
}

std::string percentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() + 0 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A form body (name=value&...), each part percent-decoded; the first of a repeated name wins.
std::map<std::string, std::string> parseForm(const std::string& body) {
    std::map<std::string, std::string> form;
    std::size_t start = 0;
    while (start <= body.size()) {
        const auto end = std::min(body.find('&', start), body.size());
        const auto pair = body.substr(start, end - start);
        const auto equals = pair.find('=');
        if (!pair.empty())
            form.emplace(percentDecode(pair.substr(0, equals)),
                         equals == std::string::npos ? std::string() : percentDecode(pair.substr(equals + 1)));
        start = end + 1;
    }
    return form;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

void reply(Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json; charset=utf-8");
}

// The application's structured error body.
void fail(Response& res, int status, const std::string& code, const std::string& message, const json& info = nullptr) {
    json body{{"type", "error"}, {"status", status}, {"code", code}, {"message", message}};
    if (!info.is_null()) body["info"] = info;
    reply(res, status, body);
}

// The authorization server's error body.
void oauthFail(Response& res, int status, const std::string& error, const std::string& description) {
    reply(res, status, {{"error", error}, {"error_description", description}});
}

// The object storage's XML error body.
void storageFail(Response& res, int status, const std::string& code, const std::string& message,
                 const std::string& resource) {
    res.status = status;
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>" + code + "</Code><Message>" +
                        xmlEscape(message) + "</Message><Resource>" + xmlEscape(resource) + "</Resource><RequestId>" +
                        randomHex(8) + "</RequestId></Error>",
                    "application/xml");
}

std::optional<json> parseBody(const Request& req, Response& res) {
    auto body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        fail(res, 400, "invalid_json", "the body is not a JSON object");
        return std::nullopt;
    }
    return body;
}

std::optional<std::string> stringMember(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<long long> integerParam(const Request& req, const char* name, long long fallback, long long low,
                                      long long high) {
    if (!req.has_param(name)) return fallback;
    const auto text = req.get_param_value(name);
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const auto value = std::stoll(text);
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool validName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::string extensionOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

struct Fields {
    bool parent = false;
    bool path = false;
    bool volumes = false;
    bool limitUsers = false;

    static Fields from(const Request& req) {
        const auto fields = "," + req.get_param_value("fields") + ",";
        return {.parent = fields.find(",parent,") != std::string::npos,
                .path = fields.find(",path_collection,") != std::string::npos,
                .volumes = fields.find(",volumes,") != std::string::npos,
                .limitUsers = req.get_param_value("fields_options").find("limit_volume_users") != std::string::npos};
    }
    static constexpr Fields everything() { return {.parent = true, .path = true, .volumes = true, .limitUsers = true}; }
};

thread_local std::chrono::steady_clock::time_point requestStart;

enum class Persist { no, yes };

}  // namespace

struct Routes {
    Service& s;
    DevState& state;

    // Identifiers: the user's home is "0" on the wire.
    static std::string wire(const User& user, const std::string& id) { return id == user.homeId ? "0" : id; }
    static std::string service(const User& user, const std::string& id) { return id == "0" ? user.homeId : id; }
    static const char* typeOf(const Item& item) { return item.folder ? "folder" : "file"; }

    void save() {
        if (s.stateFile_ != nullptr) s.stateFile_->save(state);
    }

    User* authenticate(const Request& req, Response& res) {
        const auto header = req.get_header_value("Authorization");
        res.set_header("WWW-Authenticate", "Bearer");
        if (header.rfind("Bearer ", 0) != 0) {
            fail(res, 401, "unauthorized", "a bearer token is required");
            return nullptr;
        }
        const auto token = state.accessTokens.find(header.substr(7));
        if (token == state.accessTokens.end()) {
            fail(res, 401, "unauthorized", "the access token is not valid");
            return nullptr;
        }
        if (token->second.expiresAt < now()) {
            fail(res, 401, "token_expired", "the access token has expired");
            return nullptr;
        }
        res.headers.erase("WWW-Authenticate");
        return state.userById(token->second.userId);
    }

    httplib::Server::Handler authed(Persist persist, std::function<void(const Request&, Response&, User&)> handler) {
        return [this, persist, handler = std::move(handler)](const Request& req, Response& res) {
            if (req.body.size() > s.limits_.apiBodyBytes) return fail(res, 413, "payload_too_large", "the body is too large");
            const std::lock_guard lock(state.mutex);
            User* user = authenticate(req, res);
            if (user == nullptr) return;
            handler(req, res, *user);
            if (persist == Persist::yes && res.status < 400) save();
        };
    }

    // A live item the user may see, with the user's role in it; null after answering 404.
    const Item* visible(const User& user, const std::string& wireId, Response& res, Role& role) {
        const Item* item = state.item(service(user, wireId));
        const auto found = item == nullptr || item->trashed ? std::nullopt : state.roleFor(user, item->id);
        if (!found) {
            fail(res, 404, "not_found", "no item " + wireId);
            return nullptr;
        }
        role = *found;
        return item;
    }

    bool permitted(Role role, Access access, Response& res) {
        if (allows(role, access)) return true;
        fail(res, 403, "forbidden", "the role in this volume does not allow it");
        return false;
    }

    const Item* conflict(const std::string& parent, const std::string& name, const std::string& except = {}) {
        for (const Item* child : state.childrenOf(parent))
            if (child->name == name && child->id != except) return child;
        return nullptr;
    }

    std::string freeName(const std::string& parent, const std::string& name) {
        const auto dot = name.rfind('.');
        const auto stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
        const auto ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
        for (int n = 1; n < 1000; ++n) {
            auto candidate = stem + " (" + std::to_string(n) + ")" + ext;
            if (conflict(parent, candidate) == nullptr) return candidate;
        }
        return stem + " (" + randomHex(4) + ")" + ext;
    }

    void conflictFail(Response& res, const User& user, const std::string& parent, const Item& existing) {
        fail(res, 409, "item_exists_error", "an item with this name exists",
             {{"new_name", freeName(parent, existing.name)}, {"item_id", wire(user, existing.id)}});
    }

    static json permissions(Role role) {
        const bool boss = role == Role::owner || role == Role::manager;
        return {{"can_comment", allows(role, Access::preview)},  {"can_copy", allows(role, Access::read)},
                {"can_delete", allows(role, Access::edit)},      {"can_delete_volume", role == Role::owner},
                {"can_download", allows(role, Access::read)},    {"can_edit_contents", allows(role, Access::edit)},
                {"can_edit_metadata", allows(role, Access::edit)}, {"can_invite", boss},
                {"can_leave_volume", role != Role::owner},       {"can_move", allows(role, Access::edit)},
                {"can_preview", allows(role, Access::preview)},  {"can_rename", allows(role, Access::edit)},
                {"can_rename_volume", boss},                     {"can_send_item_box", allows(role, Access::read)},
                {"can_share", allows(role, Access::edit)},       {"can_upload", allows(role, Access::write)}};
    }

    json volumeJson(const User& user, const Volume& volume, bool limitUsers) {
        json members = json::array();
        for (const auto& [member, role] : volume.members)
            if (!limitUsers || member == user.id) members.push_back({{"user_id", member}, {"permissions", permissions(role)}});
        json out{{"id", volume.id},
                 {"item_id", volume.itemId},
                 {"name_without_prefix", volume.name},
                 {"modified_at", iso(volume.modifiedAt)},
                 {"volume_users", {{"total_count", volume.members.size()}, {"entries", members}}}};
        const auto mine = volume.members.find(user.id);
        if (mine != volume.members.end()) {
            out["my_role"] = static_cast<int>(mine->second);
            out["my_permissions"] = permissions(mine->second);
        }
        return out;
    }

    json summary(const User& user, const Item& item) {
        return {{"id", wire(user, item.id)}, {"name", item.name}, {"type", typeOf(item)}, {"modified_at", iso(item.modifiedAt)}};
    }

    json itemJson(const User& user, const Item& item, Fields fields) {
        const auto ext = extensionOf(item.name);
        json out{{"type", typeOf(item)},
                 {"id", wire(user, item.id)},
                 {"name", item.name},
                 {"modified_at", iso(item.modifiedAt)},
                 {"size", item.folder ? json() : json(item.size)},
                 {"home", item.home},
                 {"ext", item.folder || ext.empty() ? json() : json(ext)}};
        const Item* home = state.item(user.homeId);
        if (fields.parent) {
            if (!item.parent.empty()) {
                out["parent"] = summary(user, *state.item(item.parent));
            } else if (!item.home && home != nullptr) {
                out["parent"] = summary(user, *home);  // volume folders sit under the user's root
            }
        }
        std::vector<const Item*> chain;
        for (const Item* at = &item; at != nullptr && chain.size() < 256; at = at->parent.empty() ? nullptr : state.item(at->parent))
            chain.push_back(at);
        const Item* top = chain.back();
        if (!top->home && home != nullptr) chain.push_back(home);
        if (fields.path) {
            json entries = json::array();
            for (auto at = chain.rbegin(); at != chain.rend(); ++at)
                entries.push_back({{"id", wire(user, (*at)->id)},
                                   {"name", (*at)->name},
                                   {"type", typeOf(**at)},
                                   {"is_volume", (*at)->parent.empty() && !(*at)->home},
                                   {"is_archive", false},
                                   {"modified_at", iso((*at)->modifiedAt)}});
            out["path_collection"] = {{"total_count", entries.size()}, {"entries", entries}};
        }
        if (fields.volumes) {
            out["volumes"] = json::array();
            if (const Volume* volume = top->home ? nullptr : state.volumeOfTop(top->id))
                out["volumes"].push_back(volumeJson(user, *volume, fields.limitUsers));
        }
        return out;
    }

    std::pair<std::string, std::string> grantTokens(std::int64_t userId) {
        const double at = now();
        if (state.accessTokens.size() >= 10000)
            std::erase_if(state.accessTokens, [at](const auto& entry) { return entry.second.expiresAt < at; });
        if (state.accessTokens.size() >= 10000) state.accessTokens.erase(state.accessTokens.begin());
        if (state.refreshTokens.size() >= 10000) state.refreshTokens.erase(state.refreshTokens.begin());
        auto access = randomHex(32);
        auto refresh = randomHex(32);
        state.accessTokens[access] = {.userId = userId, .expiresAt = at + s.faults_.tokenLifetimeSeconds()};
        state.refreshTokens[refresh] = userId;
        return {access, refresh};
    }

    // POST /oauth/token, form body, password or refresh-token grant.
    void token(const Request& req, Response& res) {
        if (req.body.size() > 16 * 1024) return oauthFail(res, 400, "invalid_request", "the body is too large");
        auto form = parseForm(req.body);
        const std::lock_guard lock(state.mutex);
        const auto grant = form["grant_type"];
        User* user = nullptr;
        if (grant == "password") {
            if (form["client_id"].empty() || form["client_secret"].empty())
                return oauthFail(res, 401, "invalid_client", "client authentication failed");
            user = state.userByLogin(form["username"]);
            if (user == nullptr || user->password != form["password"] ||
                (!form["enterprise_account"].empty() && form["enterprise_account"] != "fernwald"))
                return oauthFail(res, 401, "invalid_resource_owner", "the login or the password is wrong");
            if (user->onetimeToken) {
                const auto given = form.find("onetime_token");
                if (given == form.end() || given->second.empty())
                    return oauthFail(res, 401, "require_totp_onetime_token", "a one-time token is required");
                if (given->second != *user->onetimeToken)
                    return oauthFail(res, 401, "invalid_onetime_token", "the one-time token is wrong");
            }
        } else if (grant == "refresh_token") {
            const auto found = state.refreshTokens.find(form["refresh_token"]);
            if (found == state.refreshTokens.end())
                return oauthFail(res, 400, "invalid_grant", "the refresh token is not valid");
            user = state.userById(found->second);
            state.refreshTokens.erase(found);  // rotates: each refresh token works once
            if (user == nullptr) return oauthFail(res, 400, "invalid_grant", "the refresh token is not valid");
        } else {
            return oauthFail(res, 400, "unsupported_grant_type", "grant_type must be password or refresh_token");
        }
        const auto [access, refresh] = grantTokens(user->id);
        reply(res, 200,
              {{"access_token", access},
               {"token_type", "Bearer"},
               {"refresh_token", refresh},
               {"expires_in", s.faults_.tokenLifetimeSeconds()},
               {"created_at", static_cast<std::int64_t>(now())},
               {"login", user->login},
               {"email", user->email ? json(*user->email) : json()}});
        save();
    }

    void me(const Request&, Response& res, User& user) {
        reply(res, 200,
              {{"id", user.id}, {"account_id", user.accountId}, {"login", user.login}, {"name", user.name},
               {"role", user.role}, {"type", user.type}, {"email", user.email ? json(*user.email) : json()}});
    }

    void enterprise(const Request&, Response& res, User&) {
        reply(res, 200,
              {{"account", "fernwald"}, {"domain", "fernwald.example"}, {"id", 1}, {"logo", false},
               {"name", "Fernwald Demo"}, {"storage_type", "OBJECT STORAGE"}});
    }

    void myVolumes(const Request&, Response& res, User& user) {
        json entries = json::array();
        for (const auto& volume : state.volumes)
            if (volume.members.contains(user.id)) entries.push_back(volumeJson(user, volume, true));
        reply(res, 200, {{"volumes", {{"total_count", entries.size()}, {"entries", entries}}}});
    }

    void list(const Request& req, Response& res, User& user) {
        Role role{};
        const Item* folder = visible(user, req.matches[1], res, role);
        if (folder == nullptr) return;
        if (!folder->folder) return fail(res, 404, "not_found", "not a folder");
        const auto offset = integerParam(req, "offset", 0, 0, 1LL << 40);
        const auto limit = integerParam(req, "limit", 100, 1, 1000);
        const auto sort = req.has_param("sort") ? req.get_param_value("sort") : "modified_at";
        if (!offset || !limit || (sort != "modified_at" && sort != "name" && sort != "size"))
            return fail(res, 400, "invalid_parameter", "offset, limit (1..1000) or sort (modified_at, name, size) is wrong");
        const bool descending = req.get_param_value("desc") == "true";
        auto children = state.childrenOf(folder->id);
        std::sort(children.begin(), children.end(), [&](const Item* a, const Item* b) {
            auto key = [&](const Item* i) {
                return std::make_tuple(sort == "modified_at" ? i->modifiedAt : sort == "size" ? static_cast<double>(i->size) : 0.0,
                                       sort == "name" ? i->name : std::string(), i->id);
            };
            return descending ? key(b) < key(a) : key(a) < key(b);
        });
        json entries = json::array();
        for (auto i = static_cast<std::size_t>(*offset); i < children.size() && entries.size() < static_cast<std::size_t>(*limit); ++i) {
            const Item& child = *children[i];
            entries.push_back({{"id", child.id},
                               {"name", child.name},
                               {"type", typeOf(child)},
                               {"size", child.folder ? json() : json(child.size)},
                               {"modified_at", iso(child.modifiedAt)},
                               {"home_type", json()}});
        }
        reply(res, 200, {{"total_count", children.size()}, {"offset", *offset}, {"limit", *limit}, {"entries", entries}});
    }

    void lookup(const Request& req, Response& res, User& user) {
        Role role{};
        if (const Item* item = visible(user, req.matches[1], res, role)) reply(res, 200, itemJson(user, *item, Fields::from(req)));
    }

    void knock(const Request& req, Response& res, User& user) {
        Role role{};
        const Item* folder = visible(user, req.get_param_value("knock_id"), res, role);
        if (folder == nullptr) return;
        const auto name = req.get_param_value("name");
        if (!folder->folder || !validName(name)) return fail(res, 400, "invalid_parameter", "knock_id or name is wrong");
        if (!permitted(role, Access::write, res)) return;
        if (conflict(folder->id, name) != nullptr)
            return reply(res, 200, {{"code", "item_exists_error"}, {"info", {{"new_name", freeName(folder->id, name)}}}});
        reply(res, 200, json::object());
    }

    void createFolder(const Request& req, Response& res, User& user) {
        const auto body = parseBody(req, res);
        if (!body) return;
        const auto name = stringMember(*body, "name");
        const auto parentId = body->contains("parent") && (*body)["parent"].is_object()
                                  ? stringMember((*body)["parent"], "id") : std::nullopt;
        if (!name || !parentId || !validName(*name))
            return fail(res, 400, "invalid_parameter", "name and parent.id are required; a name holds no slash");
        Role role{};
        const Item* parent = visible(user, *parentId, res, role);
        if (parent == nullptr) return;
        if (!parent->folder) return fail(res, 404, "not_found", "the parent is not a folder");
        if (!permitted(role, Access::write, res)) return;
        if (const Item* existing = conflict(parent->id, *name)) return conflictFail(res, user, parent->id, *existing);
        const auto id = state.newId();
        state.items[id] = {.id = id, .name = *name, .folder = true, .parent = parent->id, .modifiedAt = now()};
        state.addEvent(user.id, "create", id, std::nullopt, now());
        reply(res, 201, itemJson(user, state.items[id], Fields::from(req)));
    }

    // An item addressed as /folders/:id or /files/:id; the kind has to match.
    Item* addressed(const Request& req, Response& res, User& user, Role& role) {
        const Item* item = visible(user, req.matches[2], res, role);
        if (item == nullptr) return nullptr;
        if (item->folder != (req.matches[1] == "folders")) {
            fail(res, 404, "not_found", "no such " + std::string(req.matches[1] == "folders" ? "folder" : "file"));
            return nullptr;
        }
        if (item->parent.empty()) {
            fail(res, 403, "forbidden", "a top folder cannot be changed");
            return nullptr;
        }
        return state.item(item->id);
    }

    void rename(const Request& req, Response& res, User& user) {
        Role role{};
        Item* item = addressed(req, res, user, role);
        if (item == nullptr || !permitted(role, Access::edit, res)) return;
        const auto body = parseBody(req, res);
        if (!body) return;
        const auto name = stringMember(*body, "name");
        if (!name || !validName(*name)) return fail(res, 400, "invalid_parameter", "a name without slash is required");
        if (const Item* existing = conflict(item->parent, *name, item->id)) return conflictFail(res, user, item->parent, *existing);
        item->name = *name;
        item->modifiedAt = now();
        state.addEvent(user.id, "rename", item->id, std::nullopt, now());
        reply(res, 200, itemJson(user, *item, Fields::from(req)));
    }

    void trashItem(const Request& req, Response& res, User& user) {
        Role role{};
        Item* item = addressed(req, res, user, role);
        if (item == nullptr || !permitted(role, Access::edit, res)) return;
        const double at = now();
        state.trash.push_back({.id = state.nextTrashId++, .itemId = item->id, .path = state.pathOf(item->id), .deletedAt = at});
        if (state.trash.size() > 10000) state.trash.erase(state.trash.begin());
        // The subtree goes with it; its items stay in the table for the trash lookup.
        std::vector<std::string> pending{item->id};
        for (std::size_t i = 0; i < pending.size(); ++i) {
            state.items[pending[i]].trashed = true;
            for (const Item* child : state.childrenOf(pending[i])) pending.push_back(child->id);
        }
        state.addEvent(user.id, "trash", item->id, std::nullopt, at);
        res.status = 204;
    }

    void move(const Request& req, Response& res, User& user) {
        const auto body = parseBody(req, res);
        if (!body) return;
        const auto parentId = stringMember(*body, "parent_id");
        const auto ids = body->find("ids");
        if (!parentId || ids == body->end() || !ids->is_array() || ids->empty() || ids->size() > 1000)
            return fail(res, 400, "invalid_parameter", "ids (1..1000 strings) and parent_id are required");
        Role targetRole{};
        const Item* target = visible(user, *parentId, res, targetRole);
        if (target == nullptr) return;
        if (!target->folder) return fail(res, 404, "not_found", "the destination is not a folder");
        if (!permitted(targetRole, Access::write, res)) return;
        std::vector<Item*> moving;
        for (const auto& id : *ids) {
            if (!id.is_string()) return fail(res, 400, "invalid_parameter", "ids holds strings");
            Role role{};
            const Item* item = visible(user, id.get<std::string>(), res, role);
            if (item == nullptr || !permitted(role, Access::edit, res)) return;
            if (item->parent.empty()) return fail(res, 403, "forbidden", "a top folder cannot be moved");
            for (const Item* at = target; at != nullptr; at = at->parent.empty() ? nullptr : state.item(at->parent))
                if (at->id == item->id) return fail(res, 400, "invalid_parameter", "a folder cannot go into itself");
            if (const Item* existing = conflict(target->id, item->name, item->id))
                return conflictFail(res, user, target->id, *existing);
            moving.push_back(state.item(item->id));
        }
        for (Item* item : moving) {
            item->parent = target->id;
            state.addEvent(user.id, "move", item->id, target->id, now());
        }
        res.status = 204;
    }

    void search(const Request& req, Response& res, User& user) {
        const auto offset = integerParam(req, "offset", 0, 0, 1LL << 40);
        const auto limit = integerParam(req, "limit", 50, 1, 50);
        const auto minimum = integerParam(req, "min_search", 1, 0, 100);
        if (!offset || !limit || !minimum) return fail(res, 400, "invalid_parameter", "offset, limit (1..50) or min_search is wrong");
        auto lower = [](std::string text) {
            for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return text;
        };
        const auto keyword = lower(req.get_param_value("q"));
        std::vector<const Item*> found;
        if (keyword.size() >= static_cast<std::size_t>(*minimum) && !keyword.empty())
            for (const auto& [id, item] : state.items)
                if (!item.trashed && !item.home && lower(item.name).find(keyword) != std::string::npos &&
                    state.roleFor(user, id))
                    found.push_back(&item);
        // Relevance: exact names first, then the newest.
        std::sort(found.begin(), found.end(), [&](const Item* a, const Item* b) {
            return std::make_pair(lower(a->name) != keyword, -a->modifiedAt) < std::make_pair(lower(b->name) != keyword, -b->modifiedAt);
        });
        const bool exceed = found.size() > 1000;
        if (exceed) found.resize(1000);
        json entries = json::array();
        for (auto i = static_cast<std::size_t>(*offset); i < found.size() && entries.size() < static_cast<std::size_t>(*limit); ++i)
            entries.push_back(itemJson(user, *found[i], Fields::everything()));
        reply(res, 200, {{"total_count", found.size()}, {"exceed", exceed}, {"limit", *limit}, {"offset", *offset}, {"entries", entries}});
    }

    void trashSearch(const Request& req, Response& res, User& user) {
        const auto path = req.get_param_value("path");
        for (auto entry = state.trash.rbegin(); entry != state.trash.rend(); ++entry) {
            const Item* item = state.item(entry->itemId);
            if (entry->path != path || item == nullptr || !item->trashed || !state.roleFor(user, item->id)) continue;
            return reply(res, 200,
                         {{"id", entry->id}, {"item_id", wire(user, item->id)}, {"name", item->name}, {"type", typeOf(*item)},
                          {"deleted_at", iso(entry->deletedAt)}, {"size", item->size}});
        }
        fail(res, 404, "not_found", "nothing in the trash at " + path);
    }

    const Item* file(const Request& req, Response& res, User& user, Access access) {
        Role role{};
        const Item* item = visible(user, req.matches[1], res, role);
        if (item == nullptr) return nullptr;
        if (item->folder) {
            fail(res, 404, "not_found", "not a file");
            return nullptr;
        }
        return permitted(role, access, res) ? item : nullptr;
    }

    void downloadTicket(const Request& req, Response& res, User& user) {
        const Item* item = file(req, res, user, Access::read);
        if (item == nullptr) return;
        const double at = now();
        if (s.tickets_.size() >= 1000) std::erase_if(s.tickets_, [at](const auto& t) { return t.second.expiresAt < at; });
        if (s.tickets_.size() >= 1000) s.tickets_.erase(s.tickets_.begin());
        const auto token = randomHex(24);
        s.tickets_[token] = {.fileId = item->id, .expiresAt = at + 300};
        reply(res, 200, {{"url", s.baseURL_ + "/storage/downloads/" + item->id + "?token=" + token}, {"token", token}, {"fid", item->id}});
    }

    void thumbnail(const Request& req, Response& res, User& user) {
        if (file(req, res, user, Access::preview) == nullptr) return;
        res.set_content(std::string(DevServer::thumbnail()), "image/jpeg");
    }

    // The four steps of both multipart families; `modification` picks file_id over parent_id.
    const Item* uploadTarget(const User& user, const std::string& wireId, bool modification, Response& res) {
        Role role{};
        const Item* target = visible(user, wireId, res, role);
        if (target == nullptr) return nullptr;
        if (target->folder == modification) {
            fail(res, 404, "not_found", modification ? "not a file" : "not a folder");
            return nullptr;
        }
        return permitted(role, modification ? Access::edit : Access::write, res) ? target : nullptr;
    }

    Upload* openUpload(const User& user, const std::string& s3key, const Item& target, bool modification, Response& res) {
        const auto found = state.uploads.find(s3key);
        if (found == state.uploads.end() || found->second.userId != user.id || found->second.target != target.id ||
            found->second.modification != modification) {
            fail(res, 404, "upload_not_found", "no open upload " + s3key);
            return nullptr;
        }
        return &found->second;
    }

    void dropUpload(const Upload& upload) {
        for (const auto& [number, part] : upload.parts) {
            const auto key = upload.s3key + "#" + std::to_string(number);
            state.partData.erase(key);
            state.dirtyBlobs.insert("p:" + key);
        }
        state.uploads.erase(upload.s3key);
    }

    void multipartOpen(const Request& req, Response& res, User& user, bool modification) {
        const auto body = parseBody(req, res);
        if (!body) return;
        const auto targetId = stringMember(*body, modification ? "file_id" : "parent_id");
        if (!targetId) return fail(res, 400, "invalid_parameter", modification ? "file_id is required" : "parent_id is required");
        const Item* target = uploadTarget(user, *targetId, modification, res);
        if (target == nullptr) return;
        const auto mine = std::count_if(state.uploads.begin(), state.uploads.end(),
                                        [&](const auto& u) { return u.second.userId == user.id; });
        if (static_cast<std::size_t>(mine) >= s.limits_.uploadsPerUser || state.uploads.size() >= s.limits_.uploads)
            return fail(res, 400, "upload_limit_exceeded", "too many open uploads");
        const auto s3key = "uploads/" + state.newId() + "-" + randomHex(8);
        state.uploads[s3key] = {.s3key = s3key, .userId = user.id, .target = target->id, .modification = modification};
        reply(res, 200, {{"s3key", s3key}});
    }

    void multipartURL(const Request& req, Response& res, User& user, bool modification) {
        const auto targetId = req.get_param_value(modification ? "file_id" : "parent_id");
        const auto part = integerParam(req, "part_number", 0, 1, s.limits_.partNumbers);
        if (!part || !req.has_param("part_number")) return fail(res, 400, "invalid_parameter", "part_number must be 1..10000");
        const Item* target = uploadTarget(user, targetId, modification, res);
        if (target == nullptr || openUpload(user, req.get_param_value("s3key"), *target, modification, res) == nullptr) return;
        const auto s3key = req.get_param_value("s3key");
        const auto expires = std::to_string(static_cast<std::int64_t>(now()) + 3600);
        const auto number = std::to_string(*part);
        reply(res, 200,
              {{"url", s.baseURL_ + "/storage/" + s3key + "?partNumber=" + number + "&expires=" + expires +
                           "&signature=" + hmacHex(s.signingKey_, s3key + "\n" + number + "\n" + expires)}});
    }

    void multipartComplete(const Request& req, Response& res, User& user, bool modification) {
        const auto body = parseBody(req, res);
        if (!body) return;
        const auto targetId = stringMember(*body, modification ? "file_id" : "parent_id");
        const auto s3key = stringMember(*body, "s3key");
        const auto mtime = stringMember(*body, "mtime");
        const auto name = modification ? std::optional<std::string>("") : stringMember(*body, "name");
        const auto etags = body->find("etags");
        if (!targetId || !s3key || !mtime || !name || etags == body->end() || !etags->is_array())
            return fail(res, 400, "invalid_parameter", "the complete body is incomplete");
        if (!modification && !validName(*name)) return fail(res, 400, "invalid_parameter", "a name without slash is required");
        const bool mtimeIsNumber = !mtime->empty() && mtime->size() <= 18 &&
                                   mtime->find_first_not_of("-0123456789", 0) == std::string::npos;
        if (!mtimeIsNumber) return fail(res, 400, "invalid_parameter", "mtime is seconds since 1970 as text");
        const Item* target = uploadTarget(user, *targetId, modification, res);
        if (target == nullptr) return;
        Upload* upload = openUpload(user, *s3key, *target, modification, res);
        if (upload == nullptr) return;
        auto unquoted = [](std::string tag) {
            if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"') tag = tag.substr(1, tag.size() - 2);
            return tag;
        };
        if (upload->parts.empty() || etags->size() != upload->parts.size())
            return fail(res, 400, "invalid_part", "the entity tags do not match the stored parts");
        std::size_t index = 0;
        std::string assembled;
        for (const auto& [number, part] : upload->parts) {
            const auto& tag = (*etags)[index++];
            if (!tag.is_string() || unquoted(tag.get<std::string>()) != unquoted(part.etag))
                return fail(res, 400, "invalid_part", "part " + std::to_string(number) + " has another entity tag");
            assembled += state.partData[upload->s3key + "#" + std::to_string(number)];
        }
        const auto seconds = std::stoll(*mtime);
        const double modified = seconds == 0 ? now() : static_cast<double>(seconds);
        std::string id;
        if (modification) {
            id = target->id;
        } else {
            if (const Item* existing = conflict(target->id, *name)) return conflictFail(res, user, target->id, *existing);
            id = state.newId();
            state.items[id] = {.id = id, .name = *name, .parent = target->id};
        }
        Item& item = state.items[id];
        item.size = static_cast<std::int64_t>(assembled.size());
        item.modifiedAt = modified;
        state.setContent(id, std::move(assembled));
        dropUpload(*upload);
        state.addEvent(user.id, modification ? "modify" : "create", id, std::nullopt, now());
        reply(res, modification ? 200 : 201, itemJson(user, item, Fields::from(req)));
    }

    void multipartAbort(const Request& req, Response& res, User& user, bool modification) {
        const Item* target = uploadTarget(user, req.get_param_value(modification ? "file_id" : "parent_id"), modification, res);
        if (target == nullptr) return;
        if (Upload* upload = openUpload(user, req.get_param_value("s3key"), *target, modification, res)) {
            dropUpload(*upload);
            res.status = 204;
        }
    }

    std::int64_t storedPartBytes() const {
        std::int64_t total = 0;
        for (const auto& [key, upload] : state.uploads)
            for (const auto& [number, part] : upload.parts) total += part.size;
        return total;
    }

    // PUT /storage/<s3key>?partNumber&expires&signature: one part, checked against Content-MD5.
    void storePart(const Request& req, Response& res) {
        const std::string s3key = req.matches[1];
        const auto resource = "/" + s3key;
        const auto number = req.get_param_value("partNumber");
        const auto expires = req.get_param_value("expires");
        if (req.get_param_value("signature") != hmacHex(s.signingKey_, s3key + "\n" + number + "\n" + expires))
            return storageFail(res, 403, "SignatureDoesNotMatch", "The request signature does not match.", resource);
        if (expires.empty() || expires.find_first_not_of("0123456789") != std::string::npos || expires.size() > 15 ||
            static_cast<double>(std::stoll(expires)) < now())
            return storageFail(res, 403, "AccessDenied", "Request has expired.", resource);
        if (req.body.size() > s.limits_.partBytes)
            return storageFail(res, 400, "EntityTooLarge", "The part exceeds the maximum allowed size.", resource);
        const auto digest = md5Raw(req.body);
        if (req.has_header("Content-MD5")) {
            const auto given = base64Decode(req.get_header_value("Content-MD5"));
            if (!given || given->size() != 16)
                return storageFail(res, 400, "InvalidDigest", "The Content-MD5 you specified is not valid.", resource);
            if (*given != digest)
                return storageFail(res, 400, "BadDigest", "The Content-MD5 you specified did not match what we received.", resource);
        }
        const std::lock_guard lock(state.mutex);
        const auto upload = state.uploads.find(s3key);
        if (upload == state.uploads.end())
            return storageFail(res, 404, "NoSuchUpload", "The specified upload does not exist.", resource);
        const int part = std::stoi(number);
        const auto previous = upload->second.parts.contains(part) ? upload->second.parts[part].size : 0;
        if (storedPartBytes() - previous + static_cast<std::int64_t>(req.body.size()) > static_cast<std::int64_t>(s.limits_.storedPartBytes))
            return storageFail(res, 507, "InsufficientStorage", "The storage is full.", resource);
        const auto etag = "\"" + hex(reinterpret_cast<const unsigned char*>(digest.data()), 16) + "\"";
        upload->second.parts[part] = {.etag = etag, .size = static_cast<std::int64_t>(req.body.size())};
        state.setPart(s3key + "#" + number, req.body);
        res.set_header("ETag", etag);
        res.status = 200;
        save();
    }

    // GET /storage/downloads/<file id>?token=<ticket>: the contents a download ticket names.
    void serveDownload(const Request& req, Response& res) {
        const std::string fileId = req.matches[1];
        const std::lock_guard lock(state.mutex);
        const auto ticket = s.tickets_.find(req.get_param_value("token"));
        if (ticket == s.tickets_.end() || ticket->second.fileId != fileId)
            return storageFail(res, 403, "AccessDenied", "Access Denied", req.path);
        if (ticket->second.expiresAt < now()) return storageFail(res, 403, "AccessDenied", "Request has expired.", req.path);
        const auto content = state.contents.find(fileId);
        const Item* item = state.item(fileId);
        if (content == state.contents.end() || item == nullptr || item->trashed)
            return storageFail(res, 404, "NoSuchKey", "The specified key does not exist.", req.path);
        res.set_header("ETag", "\"" + hex(reinterpret_cast<const unsigned char*>(md5Raw(content->second).data()), 16) + "\"");
        res.set_content(content->second, "application/octet-stream");
    }

    json eventItem(const User& user, const std::string& id) {
        const Item* item = state.item(id);
        json out{{"id", wire(user, id)}, {"inode", id}, {"scheme", "tarn"}, {"type", item != nullptr && item->folder ? "folder" : "file"}};
        if (item == nullptr) return out;
        out["path"] = state.pathOf(id);
        const Item* top = state.top(id);
        if (const Volume* volume = top == nullptr || top->home ? nullptr : state.volumeOfTop(top->id)) out["project_name"] = volume->name;
        return out;
    }

    void eventsFeed(const Request& req, Response& res, User& user) {
        if (req.get_param_value("use") != "app") return fail(res, 400, "invalid_parameter", "use must be app");
        std::optional<double> after;
        if (req.has_param("after")) {
            after = parseISO(req.get_param_value("after"));
            if (!after) return fail(res, 400, "invalid_parameter", "after is an ISO 8601 date-time in UTC");
        } else if (!req.has_param("latest")) {
            return fail(res, 400, "invalid_parameter", "latest or after is required");
        }
        std::vector<const Event*> picked;
        for (const auto& event : state.events)
            if ((!after || event.performedAt > *after) && state.roleFor(user, event.itemId)) picked.push_back(&event);
        const std::size_t keep = after ? 500 : 50;
        if (picked.size() > keep) picked.erase(picked.begin(), picked.end() - static_cast<std::ptrdiff_t>(keep));
        json out = json::array();
        for (const Event* event : picked) {
            const User* actor = state.userById(event->userId);
            json target{{"item", eventItem(user, event->itemId)}};
            if (event->toItemId) target["to_item"] = eventItem(user, *event->toItemId);
            out.push_back({{"access", {{"app", "web"}}},
                           {"account",
                            {{"enterprise_id", 1},
                             {"user",
                              {{"id", event->userId},
                               {"name", actor != nullptr ? actor->name : "unknown"},
                               {"avatar_url", s.baseURL_ + "/avatars/" + std::to_string(event->userId) + ".png"}}}}},
                           {"target", target},
                           {"performed_at", iso(event->performedAt)},
                           {"action_id", event->actionId},
                           {"action", event->action}});
        }
        reply(res, 200, out);
    }

    // A request picked by a fault switch fails the way the switch says.
    void inflict(FaultKind kind, bool storage, Response& res) {
        switch (kind) {
        case FaultKind::serverError:
            if (storage) return storageFail(res, 503, "ServiceUnavailable", "Please reduce your request rate.", "/");
            return fail(res, 503, "service_unavailable", "the service is unavailable for a moment");
        case FaultKind::tooManyRequests:
            res.set_header("Retry-After", "1");
            if (storage) return storageFail(res, 429, "SlowDown", "Please reduce your request rate.", "/");
            return fail(res, 429, "too_many_requests", "too many requests; retry later");
        case FaultKind::closeMidBody: {
            // Announces 256 bytes, sends 40, then drops the connection.
            res.status = 200;
            res.set_content_provider(256, "application/json", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset != 0) return false;
                static constexpr char partial[] = R"({"total_count":1,"entries":[{"id":"1",)";
                sink.write(partial, sizeof partial - 1);
                return true;
            });
            return;
        }
        }
    }
};

Service::Service(DevState& state, DevFaults& faults, StateFile* stateFile, ServiceLimits limits)
    : state_(state), faults_(faults), stateFile_(stateFile), limits_(limits), signingKey_(randomHex(32)) {}

void Service::install(httplib::Server& server) {
    auto routes = std::make_shared<Routes>(Routes{*this, state_});
    Routes& r = *routes;
    auto bind = [&r](void (Routes::*method)(const Request&, Response&, User&)) {
        return [&r, method](const Request& req, Response& res, User& user) { (r.*method)(req, res, user); };
    };
    auto family = [&r](void (Routes::*method)(const Request&, Response&, User&, bool), bool modification) {
        return [&r, method, modification](const Request& req, Response& res, User& user) { (r.*method)(req, res, user, modification); };
    };

    server.set_pre_routing_handler([this, routes](const Request& req, Response& res) {
        requestStart = std::chrono::steady_clock::now();
        if (req.path.rfind("/_dev/", 0) == 0) return httplib::Server::HandlerResponse::Unhandled;
        if (const int latency = faults_.latencyMilliseconds(); latency > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(latency));  // added latency is the point here
        if (const auto kind = faults_.draw(DevFaults::familyOf(req.path))) {
            routes->inflict(*kind, req.path.rfind("/storage/", 0) == 0, res);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([](const Request& req, const Response& res) {
        const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - requestStart).count();
        // The path only: queries can carry tickets and signatures.
        std::fprintf(stderr, "%s %s %d %.1f ms\n", req.method.c_str(), req.path.c_str(), res.status, elapsed);
    });
    server.set_error_handler([](const Request&, Response& res) {
        if (res.body.empty() && res.status == 404) fail(res, 404, "not_found", "no such endpoint");
    });
    server.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
        fail(res, 500, "internal_error", "the service failed");
    });

    server.Post("/oauth/token", [routes](const Request& req, Response& res) { routes->token(req, res); });
    server.Get("/users/me", r.authed(Persist::no, bind(&Routes::me)));
    server.Get("/users/me/my_volumes", r.authed(Persist::no, bind(&Routes::myVolumes)));
    server.Get("/enterprises/current", r.authed(Persist::no, bind(&Routes::enterprise)));
    server.Get("/folders/0/search", r.authed(Persist::no, bind(&Routes::search)));
    server.Get("/folders/([^/]+)/ls", r.authed(Persist::no, bind(&Routes::list)));
    server.Get("/items/knock", r.authed(Persist::no, bind(&Routes::knock)));
    server.Get("/items/([^/]+)", r.authed(Persist::no, bind(&Routes::lookup)));
    server.Post("/folders", r.authed(Persist::yes, bind(&Routes::createFolder)));
    server.Patch("/(folders|files)/([^/]+)", r.authed(Persist::yes, bind(&Routes::rename)));
    server.Delete("/(folders|files)/([^/]+)", r.authed(Persist::yes, bind(&Routes::trashItem)));
    server.Post("/items/move", r.authed(Persist::yes, bind(&Routes::move)));
    server.Get("/trash_items/search", r.authed(Persist::no, bind(&Routes::trashSearch)));
    server.Get("/files/([^/]+)/token", r.authed(Persist::no, bind(&Routes::downloadTicket)));
    server.Get("/files/([^/]+)/thumbnail.jpg", r.authed(Persist::no, bind(&Routes::thumbnail)));
    for (const bool modification : {false, true}) {
        const std::string path = modification ? "/files/s3/multipartmodify" : "/files/s3/multipartupload";
        server.Post(path, r.authed(Persist::yes, family(&Routes::multipartOpen, modification)));
        server.Get(path + "/url", r.authed(Persist::no, family(&Routes::multipartURL, modification)));
        server.Put(path, r.authed(Persist::yes, family(&Routes::multipartComplete, modification)));
        server.Delete(path, r.authed(Persist::yes, family(&Routes::multipartAbort, modification)));
    }
    server.Get("/events", r.authed(Persist::no, bind(&Routes::eventsFeed)));
    server.Put("/storage/(uploads/[^/]+)", [routes](const Request& req, Response& res) { routes->storePart(req, res); });
    server.Get("/storage/downloads/([^/]+)", [routes](const Request& req, Response& res) { routes->serveDownload(req, res); });
    server.Get("/_dev/faults", [this](const Request&, Response& res) { reply(res, 200, faults_.describe()); });
    server.Post("/_dev/faults", [this](const Request& req, Response& res) {
        try {
            faults_.apply(json::parse(req.body));
            reply(res, 200, faults_.describe());
        } catch (const std::exception& error) {
            fail(res, 400, "invalid_parameter", error.what());
        }
    });
}

}  // namespace DevServer

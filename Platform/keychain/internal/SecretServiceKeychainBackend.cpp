#include "Platform/keychain/internal/SecretServiceKeychainBackend.h"

#include <fcntl.h>
#include <libsecret/secret.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <map>
#include <random>
#include <set>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/keychain/KeychainError.h"

namespace Platform::detail {

namespace {

using Service = UniqueHandle<SecretService*, &g_object_unref>;
using Item = UniqueHandle<SecretItem*, &g_object_unref>;
using Value = UniqueHandle<SecretValue*, &secret_value_unref>;
using HashTable = UniqueHandle<GHashTable*, &g_hash_table_unref>;

constexpr const char* itemClassValue = "genp";

const SecretSchema schema = {
    "com.fernwaldsky.quillo.keychain.GenericPassword",
    SECRET_SCHEMA_NONE,
    {
        {"class", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"access_group", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"synchronizable", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"accessible", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"created", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"has_data", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Owns the GError of one call.
struct CallError {
    GError* error = nullptr;
    ~CallError() {
        if (error != nullptr) g_error_free(error);
    }
    [[noreturn]] void raise(const char* what) const {
        throw KeychainError(errSecIO, std::string("Secret Service ") + what + ": " +
                                          (error != nullptr ? error->message : "no answer"));
    }
};

// A match on item attributes; a field left empty matches any value.
struct Match {
    std::optional<std::string> service, account, accessGroup;
    std::optional<bool> synchronizable;
    std::optional<KeychainAccessible> accessible;
};

Match matchOf(const KeychainQuery& query) {
    return {query.service, query.account, query.accessGroup, query.synchronizable, query.accessible};
}

Match identityOf(const KeychainItem& item) {
    return {item.service, item.account, item.accessGroup, item.synchronizable, std::nullopt};
}

void insert(GHashTable* table, const char* key, std::string_view value) {
    g_hash_table_insert(table, g_strdup(key), g_strndup(value.data(), value.size()));
}

HashTable attributesOf(const Match& match) {
    HashTable table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    insert(table.get(), "class", itemClassValue);
    if (match.service) insert(table.get(), "service", *match.service);
    if (match.account) insert(table.get(), "account", *match.account);
    if (match.accessGroup) insert(table.get(), "access_group", *match.accessGroup);
    if (match.synchronizable) insert(table.get(), "synchronizable", *match.synchronizable ? "1" : "0");
    if (match.accessible) insert(table.get(), "accessible", rawValue(*match.accessible));
    return table;
}

HashTable attributesOf(const KeychainItem& item, const std::string& created) {
    auto table = attributesOf(Match{item.service, item.account, item.accessGroup, item.synchronizable, item.accessible});
    insert(table.get(), "created", created);
    insert(table.get(), "has_data", item.data ? "1" : "0");
    return table;
}

// Microseconds since 1970, padded so text order is time order, and a random tail that
// tells apart two items made in the same microsecond.
std::string creationStamp() {
    thread_local std::mt19937_64 random(std::random_device{}());
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    char text[48];
    std::snprintf(text, sizeof text, "%020lld-%016llx", static_cast<long long>(micros),
                  static_cast<unsigned long long>(random()));
    return text;
}

std::string label(const KeychainItem& item) {
    return item.service + " (" + item.account + ")";
}

// D-Bus strings must be UTF-8 without NUL.
bool isValidText(const std::optional<std::string>& text) {
    return !text || g_utf8_validate(text->data(), static_cast<gssize>(text->size()), nullptr);
}

bool isValid(const Match& match) {
    return isValidText(match.service) && isValidText(match.account) && isValidText(match.accessGroup);
}

std::string attribute(GHashTable* table, const char* key) {
    const auto* value = static_cast<const char*>(g_hash_table_lookup(table, key));
    return value != nullptr ? value : "";
}

struct Found {
    Item item;
    KeychainItem record;
    std::string created;
    std::string path;
};

Service connect() {
    CallError error;
    Service service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error.error));
    if (!service) error.raise("connection");
    return service;
}

// Every item that matches, oldest first.
enum class Secrets { skip, load };

std::vector<Found> search(SecretService* service, const Match& match, Secrets secrets) {
    const bool loadSecrets = secrets == Secrets::load;
    const auto attributes = attributesOf(match);
    auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK);
    if (loadSecrets) flags = static_cast<SecretSearchFlags>(flags | SECRET_SEARCH_LOAD_SECRETS);
    CallError error;
    GList* list = secret_service_search_sync(service, &schema, attributes.get(), flags, nullptr, &error.error);
    if (error.error != nullptr) {
        g_list_free_full(list, g_object_unref);
        error.raise("search");
    }
    std::vector<Found> found;
    for (GList* node = list; node != nullptr; node = node->next) {
        Item item(static_cast<SecretItem*>(node->data));
        const HashTable attributes(secret_item_get_attributes(item.get()));
        KeychainItem record{
            .service = attribute(attributes.get(), "service"),
            .account = attribute(attributes.get(), "account"),
            .accessGroup = attribute(attributes.get(), "access_group"),
            .synchronizable = attribute(attributes.get(), "synchronizable") == "1",
            .accessible = fromRawValue<KeychainAccessible>(attribute(attributes.get(), "accessible"))
                              .value_or(KeychainAccessible::whenUnlocked),
        };
        if (loadSecrets && attribute(attributes.get(), "has_data") == "1") {
            if (const Value value(secret_item_get_secret(item.get())); value) {
                gsize length = 0;
                const gchar* bytes = secret_value_get(value.get(), &length);
                record.data = Data(bytes, length);
            }
        }
        std::string created = attribute(attributes.get(), "created");
        std::string path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(item.get()));
        found.push_back({std::move(item), std::move(record), std::move(created), std::move(path)});
    }
    g_list_free(list);
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.created, a.path) < std::tie(b.created, b.path);
    });
    return found;
}

Value secretOf(const std::optional<Data>& data) {
    const Data& bytes = data ? *data : Data();
    return Value(secret_value_new(bytes.data(), static_cast<gssize>(bytes.size()), "application/octet-stream"));
}


// Makes search-then-write steps whole across the back ends of this process (a mutex)
// and of the user's other processes (a lock file in the runtime directory, where the
// session bus lives too). Without a runtime directory only the first holds.
class WriteLock {
public:
    WriteLock() : process_(mutex()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime != '/') return;
        const auto path = std::filesystem::path(runtime) / "quillo-keychain.lock";
        file_ = FileDescriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        while (file_ && ::flock(file_.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }

    std::lock_guard<std::mutex> process_;
    FileDescriptor file_;  // closing it lets go
};

void removeItem(SecretItem* item) {
    CallError error;
    if (!secret_item_delete_sync(item, nullptr, &error.error)) error.raise("delete");
}

}  // namespace

SecretServiceKeychainBackend::SecretServiceKeychainBackend(std::string collection)
    : collection_(std::move(collection)) {}

std::string SecretServiceKeychainBackend::collectionUnavailability(const std::string& collection) {
    try {
        const auto service = connect();
        if (collection.starts_with('/')) return {};
        CallError error;
        const UniqueHandle<SecretCollection*, &g_object_unref> found(secret_collection_for_alias_sync(
            service.get(), collection.c_str(), SECRET_COLLECTION_NONE, nullptr, &error.error));
        if (error.error != nullptr) return std::string("the Secret Service did not answer: ") + error.error->message;
        if (!found) return "the Secret Service has no \"" + collection + "\" collection";
        return {};
    } catch (const KeychainError& error) {
        return error.detail();
    }
}

OSStatus SecretServiceKeychainBackend::add(const KeychainItem& item) {
    const auto identity = identityOf(item);
    if (!isValid(identity)) return errSecParam;
    const WriteLock lock;
    const auto service = connect();
    if (!search(service.get(), identity, Secrets::skip).empty()) return errSecDuplicateItem;
    const auto created = creationStamp();
    const auto attributes = attributesOf(item, created);
    const auto secret = secretOf(item.data);
    CallError error;
    if (!secret_service_store_sync(service.get(), &schema, attributes.get(), collection_.c_str(), label(item).c_str(),
                                   secret.get(), nullptr, &error.error)) {
        error.raise("store");
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychainBackend::update(const KeychainQuery& query, const KeychainAttributes& changes) {
    const auto match = matchOf(query);
    const Match changed{changes.service, changes.account, changes.accessGroup, std::nullopt, std::nullopt};
    if (!isValid(match) || !isValid(changed)) return errSecParam;
    const WriteLock lock;
    const auto service = connect();
    auto matches = search(service.get(), match, changes.valueData ? Secrets::skip : Secrets::load);
    if (matches.empty()) return errSecItemNotFound;

    // Every change is checked before any is made, so a collision changes nothing.
    std::set<std::string> changing;
    for (const auto& found : matches) changing.insert(found.path);
    std::set<std::tuple<std::string, std::string, std::string, bool>> identities;
    for (auto& found : matches) {
        auto& record = found.record;
        if (changes.service) record.service = *changes.service;
        if (changes.account) record.account = *changes.account;
        if (changes.accessGroup) record.accessGroup = *changes.accessGroup;
        if (changes.synchronizable) record.synchronizable = *changes.synchronizable;
        if (changes.accessible) record.accessible = *changes.accessible;
        if (changes.valueData) record.data = changes.valueData;
        if (!identities.emplace(record.service, record.account, record.accessGroup, record.synchronizable).second) {
            return errSecDuplicateItem;
        }
        for (const auto& other : search(service.get(), identityOf(record), Secrets::skip)) {
            if (!changing.contains(other.path)) return errSecDuplicateItem;
        }
    }
    for (const auto& found : matches) {
        const auto attributes = attributesOf(found.record, found.created);
        CallError error;
        if (!secret_item_set_attributes_sync(found.item.get(), &schema, attributes.get(), nullptr, &error.error)) {
            error.raise("change of attributes");
        }
        secret_item_set_label_sync(found.item.get(), label(found.record).c_str(), nullptr, nullptr);
        if (!changes.valueData) continue;
        const auto secret = secretOf(found.record.data);
        if (!secret_item_set_secret_sync(found.item.get(), secret.get(), nullptr, &error.error)) {
            error.raise("change of secret");
        }
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychainBackend::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) {
    result.clear();
    const auto match = matchOf(query);
    if (!isValid(match)) return errSecItemNotFound;  // no stored item can carry such text
    const WriteLock lock;
    const auto service = connect();
    auto found = search(service.get(), match, query.returnData ? Secrets::load : Secrets::skip);
    if (query.matchLimit == KeychainMatchLimit::one && found.size() > 1) found.resize(1);
    for (auto& entry : found) {
        if (!query.returnData) entry.record.data.reset();
        result.push_back(std::move(entry.record));
    }
    return result.empty() ? errSecItemNotFound : errSecSuccess;
}

OSStatus SecretServiceKeychainBackend::remove(const KeychainQuery& query) {
    const auto match = matchOf(query);
    if (!isValid(match)) return errSecItemNotFound;
    const WriteLock lock;
    const auto service = connect();
    const auto found = search(service.get(), match, Secrets::skip);
    for (const auto& entry : found) removeItem(entry.item.get());
    return found.empty() ? errSecItemNotFound : errSecSuccess;
}

}  // namespace Platform::detail

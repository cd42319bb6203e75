#include "Platform/keychain/internal/SQLiteKeychainBackend.h"

#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/keychain/KeychainError.h"
#include "Platform/log/Logger.h"
#include "Platform/sqlite/internal/SQLiteDatabase.h"
#include "Platform/sqlite/internal/DamagedDatabase.h"
#include "Platform/time/Date.h"

namespace Platform::detail {

namespace {

// Parameters 1-5 of every statement that selects items; a NULL parameter matches anything.
constexpr const char* matchClause =
    " WHERE (?1 IS NULL OR service = ?1) AND (?2 IS NULL OR account = ?2) AND (?3 IS NULL OR access_group = ?3)"
    " AND (?4 IS NULL OR synchronizable = ?4) AND (?5 IS NULL OR accessible = ?5)";

const Logger& logger() {
    static const Logger instance(Logger::defaultSubsystem(), "Keychain");
    return instance;
}

void bindOptionalText(SQLiteStatement& statement, int index, const std::optional<std::string>& text) {
    if (text) statement.bindText(index, *text);
    else statement.bindNull(index);
}

void bindOptionalBool(SQLiteStatement& statement, int index, const std::optional<bool>& value) {
    if (value) statement.bindInt64(index, *value ? 1 : 0);
    else statement.bindNull(index);
}

void bindOptionalAccessible(SQLiteStatement& statement, int index, const std::optional<KeychainAccessible>& value) {
    if (value) statement.bindText(index, rawValue(*value));
    else statement.bindNull(index);
}

void bindMatch(SQLiteStatement& statement, const KeychainQuery& query) {
    bindOptionalText(statement, 1, query.service);
    bindOptionalText(statement, 2, query.account);
    bindOptionalText(statement, 3, query.accessGroup);
    bindOptionalBool(statement, 4, query.synchronizable);
    bindOptionalAccessible(statement, 5, query.accessible);
}

}  // namespace

struct SQLiteKeychainBackend::Store {
    Store(const std::filesystem::path& file, const StoreOptions& options)
        : database(file, schema, options),
          insert(database.prepare(
              "INSERT INTO generic_passwords(service, account, access_group, synchronizable, accessible, data,"
              " created, modified) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?7)")),
          select(database.prepare(std::string("SELECT service, account, access_group, synchronizable, accessible,"
                                              " data FROM generic_passwords") +
                                  matchClause + " ORDER BY id LIMIT ?6")),
          change(database.prepare(std::string("UPDATE generic_passwords SET service = coalesce(?6, service),"
                                              " account = coalesce(?7, account),"
                                              " access_group = coalesce(?8, access_group),"
                                              " synchronizable = coalesce(?9, synchronizable),"
                                              " accessible = coalesce(?10, accessible),"
                                              " data = CASE WHEN ?11 THEN ?12 ELSE data END, modified = ?13") +
                                  matchClause)),
          erase(database.prepare(std::string("DELETE FROM generic_passwords") + matchClause)) {}

    static constexpr SQLiteSchema schema{
        .version = 1,
        .table = "generic_passwords",
        .createStatements =
            "CREATE TABLE IF NOT EXISTS generic_passwords("
            " id INTEGER PRIMARY KEY, service TEXT NOT NULL, account TEXT NOT NULL, access_group TEXT NOT NULL,"
            " synchronizable INTEGER NOT NULL, accessible TEXT NOT NULL, data BLOB,"
            " created REAL NOT NULL, modified REAL NOT NULL,"
            " UNIQUE(service, account, access_group, synchronizable));"
            "PRAGMA user_version = 1;",
        .storeName = "keychain",
    };

    SQLiteDatabase database;
    SQLiteStatement insert;
    SQLiteStatement select;
    SQLiteStatement change;
    SQLiteStatement erase;
};

std::shared_ptr<SQLiteKeychainBackend> SQLiteKeychainBackend::forApplicationGroup(std::string groupIdentifier,
                                                                                  StoreOptions options) {
    return std::shared_ptr<SQLiteKeychainBackend>(
        new SQLiteKeychainBackend(std::move(groupIdentifier), std::nullopt, std::move(options)));
}

SQLiteKeychainBackend::SQLiteKeychainBackend(std::filesystem::path file, StoreOptions options)
    : SQLiteKeychainBackend(std::nullopt, std::move(file), std::move(options)) {}

SQLiteKeychainBackend::SQLiteKeychainBackend(std::optional<std::string> groupIdentifier,
                                             std::optional<std::filesystem::path> file, StoreOptions options)
    : groupIdentifier_(std::move(groupIdentifier)), options_(std::move(options)), file_(std::move(file)) {}

SQLiteKeychainBackend::~SQLiteKeychainBackend() = default;

std::optional<std::filesystem::path> SQLiteKeychainBackend::path() const {
    std::lock_guard lock(mutex_);
    return file_;
}

SQLiteKeychainBackend::Store& SQLiteKeychainBackend::store() {
    if (store_) return *store_;
    if (!file_) {
        const auto container = ApplicationGroupContainer::containerURL(groupIdentifier_.value_or(""));
        if (!container) throw KeychainError(errSecIO, "No container for application group " + groupIdentifier_.value_or(""));
        file_ = *container / "Keychains" / "keychain.sqlite";
    }
    try {
        makePrivateDirectory(file_->parent_path());
        store_ = openReplacingDamage(*file_);
    } catch (const SQLiteError& error) {
        throw KeychainError(errSecIO, error.message());
    }
    return *store_;
}

// Without this a damaged file would fail every call until someone deleted it by hand.
std::unique_ptr<SQLiteKeychainBackend::Store> SQLiteKeychainBackend::openReplacingDamage(
    const std::filesystem::path& file) const {
    using detail::DirectoryLock;
    const auto folder = file.parent_path();
    std::string damage;
    {
        const DirectoryLock opening(folder, DirectoryLock::Mode::shared, options_.busyTimeout);
        try {
            return std::make_unique<Store>(file, options_);
        } catch (const SQLiteError& error) {
            if (!error.isCorruption()) throw;
            damage = error.message();
        }
        // Its connection is closed by now; the shared lock goes before the exclusive one is asked for.
    }
    const DirectoryLock repairing(folder, DirectoryLock::Mode::exclusive, options_.busyTimeout);
    try {
        // Another process may have replaced it while this one waited for the lock.
        return std::make_unique<Store>(file, options_);
    } catch (const SQLiteError& error) {
        if (!error.isCorruption()) throw;
    }
    const auto kept = detail::moveDamagedDatabaseAside(file);
    logger().fault("The keychain %{public}s is damaged (%{public}s); kept it as %{public}s and started an empty one",
                   file.string(), damage, kept.string());
    return std::make_unique<Store>(file, options_);
}

Result<void> SQLiteKeychainBackend::open() {
    std::lock_guard lock(mutex_);
    try {
        store();
        return {};
    } catch (const KeychainError& error) {
        return Result<void>::failure(error);
    }
}

// A failure other than a duplicate closes the store, so the next call starts
// from a fresh connection (the file may have been replaced meanwhile).
template <class Body>
OSStatus SQLiteKeychainBackend::guarded(const char* name, Body&& body) {
    std::lock_guard lock(mutex_);
    try {
        return body(store());
    } catch (const SQLiteError& error) {
        if (error.isConstraint()) return errSecDuplicateItem;
        // A file damaged meanwhile is checked, and replaced if need be, by the next open.
        logger().error("%{public}s: %{public}s", name, error.message());
        store_.reset();
    } catch (const KeychainError& error) {
        logger().error("%{public}s: %{public}s", name, error.detail());
    }
    return errSecIO;
}

OSStatus SQLiteKeychainBackend::add(const KeychainItem& item) {
    return guarded("add", [&](Store& store) {
        auto& statement = store.insert;
        SQLiteStatementScope scope(statement);
        statement.bindText(1, item.service);
        statement.bindText(2, item.account);
        statement.bindText(3, item.accessGroup);
        statement.bindInt64(4, item.synchronizable ? 1 : 0);
        statement.bindText(5, rawValue(item.accessible));
        if (item.data) statement.bindBlob(6, *item.data);
        else statement.bindNull(6);
        statement.bindDouble(7, Date::now().timeIntervalSince1970);
        statement.step();
        return errSecSuccess;
    });
}

OSStatus SQLiteKeychainBackend::update(const KeychainQuery& query, const KeychainAttributes& changes) {
    return guarded("update", [&](Store& store) {
        auto& statement = store.change;
        SQLiteStatementScope scope(statement);
        bindMatch(statement, query);
        bindOptionalText(statement, 6, changes.service);
        bindOptionalText(statement, 7, changes.account);
        bindOptionalText(statement, 8, changes.accessGroup);
        bindOptionalBool(statement, 9, changes.synchronizable);
        bindOptionalAccessible(statement, 10, changes.accessible);
        statement.bindInt64(11, changes.valueData ? 1 : 0);
        if (changes.valueData) statement.bindBlob(12, *changes.valueData);
        else statement.bindNull(12);
        statement.bindDouble(13, Date::now().timeIntervalSince1970);
        statement.step();
        return store.database.changes() > 0 ? errSecSuccess : errSecItemNotFound;
    });
}

OSStatus SQLiteKeychainBackend::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) {
    result.clear();
    return guarded("copyMatching", [&](Store& store) {
        auto& statement = store.select;
        SQLiteStatementScope scope(statement);
        bindMatch(statement, query);
        statement.bindInt64(6, query.matchLimit == KeychainMatchLimit::one ? 1 : -1);
        std::vector<KeychainItem> items;
        while (statement.step()) {
            KeychainItem item{
                .service = statement.columnText(0),
                .account = statement.columnText(1),
                .accessGroup = statement.columnText(2),
                .synchronizable = statement.columnInt64(3) != 0,
                .accessible = fromRawValue<KeychainAccessible>(statement.columnText(4))
                                  .value_or(KeychainAccessible::whenUnlocked),
            };
            if (query.returnData && statement.columnType(5) != SQLITE_NULL) item.data = statement.columnBlob(5);
            items.push_back(std::move(item));
        }
        result = std::move(items);
        return result.empty() ? errSecItemNotFound : errSecSuccess;
    });
}

OSStatus SQLiteKeychainBackend::remove(const KeychainQuery& query) {
    return guarded("remove", [&](Store& store) {
        auto& statement = store.erase;
        SQLiteStatementScope scope(statement);
        bindMatch(statement, query);
        statement.step();
        return store.database.changes() > 0 ? errSecSuccess : errSecItemNotFound;
    });
}

}  // namespace Platform::detail

#include "Platform/defaults/UserDefaults.h"

#include <cmath>

#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/sqlite/internal/SQLiteDatabase.h"

namespace Platform {

using detail::SQLiteDatabase;
using detail::SQLiteError;
using detail::SQLiteSchema;
using detail::SQLiteStatement;
using detail::SQLiteStatementScope;
using detail::makePrivateDirectory;

namespace {

// The type a row holds; stored beside the value so data and strings stay apart
// and a boolean is not read back as an integer.
enum class Tag : std::int64_t { string = 0, data = 1, integer = 2, real = 3, boolean = 4, date = 5 };

// The variant's alternatives are stored by index.
static_assert(std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(Tag::data), UserDefaultsValue>,
                             UserDefaultsData>);
static_assert(std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(Tag::boolean), UserDefaultsValue>,
                             bool>);
static_assert(std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(Tag::date), UserDefaultsValue>,
                             Date>);

bool isValidSuiteName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

template <class T>
std::optional<T> as(const std::optional<UserDefaultsValue>& value) {
    if (value && std::holds_alternative<T>(*value)) return std::get<T>(*value);
    return std::nullopt;
}

}  // namespace

struct UserDefaults::Store {
    Store(const std::filesystem::path& file, const StoreOptions& options)
        : database(file, schema, options),
          selectOne(database.prepare("SELECT type, value FROM preferences WHERE key = ?1")),
          selectAll(database.prepare("SELECT key, type, value FROM preferences")),
          upsert(database.prepare("INSERT OR REPLACE INTO preferences(key, type, value) VALUES(?1, ?2, ?3)")),
          erase(database.prepare("DELETE FROM preferences WHERE key = ?1")) {}

    static constexpr SQLiteSchema schema{
        .version = 1,
        .table = "preferences",
        .createStatements = "CREATE TABLE IF NOT EXISTS preferences(key TEXT PRIMARY KEY NOT NULL,"
                            " type INTEGER NOT NULL, value);"
                            "PRAGMA user_version = 1;",
        .storeName = "store",
    };

    // A row another writer left in a shape this version does not know reads as absent.
    static std::optional<UserDefaultsValue> decode(const SQLiteStatement& row, int typeColumn) {
        const int valueColumn = typeColumn + 1;
        const int storage = row.columnType(valueColumn);
        switch (static_cast<Tag>(row.columnInt64(typeColumn))) {
            case Tag::string:
                if (storage == SQLITE_TEXT) return row.columnText(valueColumn);
                break;
            case Tag::data:
                if (storage == SQLITE_BLOB) return UserDefaultsData{row.columnBlob(valueColumn)};
                break;
            case Tag::integer:
                if (storage == SQLITE_INTEGER) return row.columnInt64(valueColumn);
                break;
            case Tag::real:
                if (storage == SQLITE_FLOAT) return row.columnDouble(valueColumn);
                break;
            case Tag::boolean:
                if (storage == SQLITE_INTEGER) return row.columnInt64(valueColumn) != 0;
                break;
            case Tag::date:
                if (storage == SQLITE_FLOAT) return Date{row.columnDouble(valueColumn)};
                break;
        }
        return std::nullopt;
    }

    SQLiteDatabase database;
    SQLiteStatement selectOne;
    SQLiteStatement selectAll;
    SQLiteStatement upsert;
    SQLiteStatement erase;
};

std::shared_ptr<UserDefaults> UserDefaults::suite(std::string_view suiteName, const StoreOptions& options) {
    const std::string name(suiteName);
    using Kind = UserDefaultsError::Kind;
    if (!isValidSuiteName(suiteName)) throw UserDefaultsError(Kind::invalidSuiteName, name, "");
    const auto container = ApplicationGroupContainer::containerURL(suiteName);
    if (!container) {
        throw UserDefaultsError(Kind::cannotOpen, name,
                                "no application group container under " + ApplicationGroupContainer::rootDirectory().string());
    }
    try {
        const auto folder = *container / "Preferences";
        makePrivateDirectory(folder);
        auto store = std::make_unique<Store>(folder / (name + ".sqlite"), options);
        return std::shared_ptr<UserDefaults>(new UserDefaults(name, std::move(store)));
    } catch (const SQLiteError& error) {
        const auto kind = error.isCorruption() ? Kind::corruptStore : error.isBusy() ? Kind::busy : Kind::cannotOpen;
        throw UserDefaultsError(kind, name, error.message());
    }
}

UserDefaultsError UserDefaults::failure(const SQLiteError& error) const {
    return UserDefaultsError(error.isBusy() ? UserDefaultsError::Kind::busy : UserDefaultsError::Kind::storeFailure,
                             suiteName_, error.message());
}

UserDefaults::UserDefaults(std::string suiteName, std::unique_ptr<Store> store)
    : suiteName_(std::move(suiteName)), store_(std::move(store)) {}

UserDefaults::~UserDefaults() = default;

const std::filesystem::path& UserDefaults::path() const noexcept {
    return store_->database.path();
}

std::optional<UserDefaultsValue> UserDefaults::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    try {
        auto& statement = store_->selectOne;
        SQLiteStatementScope scope(statement);
        statement.bindText(1, key);
        if (statement.step()) {
            if (auto value = Store::decode(statement, 0)) return value;
        }
    } catch (const SQLiteError& error) {
        throw failure(error);
    }
    if (const auto registered = registered_.find(key); registered != registered_.end()) return registered->second;
    return std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    return as<std::string>(object(key));
}

std::optional<Data> UserDefaults::dataForKey(std::string_view key) const {
    const auto data = as<UserDefaultsData>(object(key));
    return data ? std::optional<Data>(data->bytes) : std::nullopt;
}

std::optional<std::int64_t> UserDefaults::integerForKey(std::string_view key) const {
    return as<std::int64_t>(object(key));
}

std::optional<double> UserDefaults::doubleForKey(std::string_view key) const {
    const auto value = object(key);
    if (const auto integer = as<std::int64_t>(value)) return static_cast<double>(*integer);
    return as<double>(value);
}

std::optional<bool> UserDefaults::boolForKey(std::string_view key) const {
    return as<bool>(object(key));
}

std::optional<Date> UserDefaults::dateForKey(std::string_view key) const {
    return as<Date>(object(key));
}

void UserDefaults::set(const UserDefaultsValue& value, std::string_view key) {
    // SQLite stores NaN as NULL, which would read back as nothing at all.
    const bool isNaN = (std::holds_alternative<double>(value) && std::isnan(std::get<double>(value))) ||
                       (std::holds_alternative<Date>(value) && std::isnan(std::get<Date>(value).timeIntervalSince1970));
    if (isNaN) throw UserDefaultsError(UserDefaultsError::Kind::invalidValue, suiteName_, "NaN for key " + std::string(key));

    std::lock_guard lock(mutex_);
    try {
        auto& statement = store_->upsert;
        SQLiteStatementScope scope(statement);
        statement.bindText(1, key);
        statement.bindInt64(2, static_cast<std::int64_t>(value.index()));
        std::visit(
            [&statement](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::string>) statement.bindText(3, v);
                else if constexpr (std::is_same_v<T, UserDefaultsData>) statement.bindBlob(3, v.bytes);
                else if constexpr (std::is_same_v<T, bool>) statement.bindInt64(3, v ? 1 : 0);
                else if constexpr (std::is_same_v<T, std::int64_t>) statement.bindInt64(3, v);
                else if constexpr (std::is_same_v<T, double>) statement.bindDouble(3, v);
                else statement.bindDouble(3, v.timeIntervalSince1970);
            },
            value);
        statement.step();
    } catch (const SQLiteError& error) {
        throw failure(error);
    }
}

void UserDefaults::removeObject(std::string_view key) {
    std::lock_guard lock(mutex_);
    try {
        auto& statement = store_->erase;
        SQLiteStatementScope scope(statement);
        statement.bindText(1, key);
        statement.step();
    } catch (const SQLiteError& error) {
        throw failure(error);
    }
}

void UserDefaults::registerDefaults(const std::map<std::string, UserDefaultsValue>& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : defaults) registered_.insert_or_assign(key, value);
}

std::map<std::string, UserDefaultsValue> UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, UserDefaultsValue> result(registered_.begin(), registered_.end());
    try {
        auto& statement = store_->selectAll;
        SQLiteStatementScope scope(statement);
        while (statement.step()) {
            if (auto value = Store::decode(statement, 1)) result.insert_or_assign(statement.columnText(0), std::move(*value));
        }
    } catch (const SQLiteError& error) {
        throw failure(error);
    }
    return result;
}

}  // namespace Platform

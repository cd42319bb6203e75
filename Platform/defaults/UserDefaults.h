#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"
#include "Platform/defaults/UserDefaultsError.h"
#include "Platform/defaults/UserDefaultsValue.h"
#include "Platform/sqlite/StoreOptions.h"

namespace Platform {

namespace detail {
class SQLiteError;
}  // namespace detail

// The defaults of an application-group suite, shared by every process of the group
// through one SQLite file. Nothing stored is cached: each read sees the latest write
// of any process, the last writer wins, and a write is on disk when it returns.
// A handle is safe to use from any thread.
//
// Every member that touches the file throws UserDefaultsError when it cannot.
class QUILLO_EXPORT UserDefaults {
public:
    // Opens <container>/Preferences/<suiteName>.sqlite, where <container> is
    // ApplicationGroupContainer::containerURL(suiteName), creating the folder (0700)
    // and file (0600) as needed. Throws UserDefaultsError, never returns null.
    // Each call opens a new handle with its own registered defaults. Opening a prepared
    // file only reads it; `options` bound the wait for other processes, here and in
    // every later read or write of the handle.
    static std::shared_ptr<UserDefaults> suite(std::string_view suiteName, const StoreOptions& options = {});

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::string& suiteName() const noexcept { return suiteName_; }
    const std::filesystem::path& path() const noexcept;

    // The stored value, else the registered default, else none.
    std::optional<UserDefaultsValue> object(std::string_view key) const;

    // None when missing or held as another type; the only conversion is integer to double.
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<Data> dataForKey(std::string_view key) const;
    std::optional<std::int64_t> integerForKey(std::string_view key) const;
    std::optional<double> doubleForKey(std::string_view key) const;
    std::optional<bool> boolForKey(std::string_view key) const;
    std::optional<Date> dateForKey(std::string_view key) const;

    // Replaces whatever `key` held, whatever its type. NaN numbers and dates are refused
    // (Kind::invalidValue) and leave the old value in place.
    void set(const UserDefaultsValue& value, std::string_view key);
    // Removing a missing key does nothing.
    void removeObject(std::string_view key);

    // Fallback values of this handle, consulted when the file holds no value for a key.
    // Merged into earlier registrations; later ones win. Never written to the file.
    void registerDefaults(const std::map<std::string, UserDefaultsValue>& defaults);

    // Registered defaults overlaid with every stored value.
    std::map<std::string, UserDefaultsValue> dictionaryRepresentation() const;

private:
    struct Store;
    UserDefaults(std::string suiteName, std::unique_ptr<Store> store);
    UserDefaultsError failure(const detail::SQLiteError& error) const;

    const std::string suiteName_;
    mutable std::mutex mutex_;
    std::unique_ptr<Store> store_;
    std::map<std::string, UserDefaultsValue, std::less<>> registered_;
};

}  // namespace Platform

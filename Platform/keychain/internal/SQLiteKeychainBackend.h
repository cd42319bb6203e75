#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/core/Result.h"
#include "Platform/keychain/KeychainBackend.h"
#include "Platform/sqlite/StoreOptions.h"

namespace Platform::detail {

// Items in one SQLite file (mode 0600, folder 0700) that every process of the
// group opens. Each call is one statement, so processes never see half a change;
// WAL and a bounded busy wait (StoreOptions) let them take turns. The file is opened
// on first use and again after a failure, which each call reports as errSecIO.
//
// A file found damaged on opening (not a database, or failing its quick check) is
// kept beside the original as "keychain.sqlite.damaged-<UTC time>" with its -wal and
// -shm files, an empty keychain takes its place, and one fault line names the kept
// file. A file that cannot be opened for any other reason is left where it is.
class SQLiteKeychainBackend : public KeychainBackend {
public:
    // <container>/Keychains/keychain.sqlite in the group's container, looked up on first use.
    static std::shared_ptr<SQLiteKeychainBackend> forApplicationGroup(std::string groupIdentifier,
                                                                      StoreOptions options = {});
    // An explicit file; a missing folder is created with mode 0700.
    explicit SQLiteKeychainBackend(std::filesystem::path file, StoreOptions options = {});
    ~SQLiteKeychainBackend() override;

    // Opens the file now instead of on first use. The error is a KeychainError
    // carrying errSecIO and the reason.
    [[nodiscard]] Result<void> open();
    // The file, once known.
    std::optional<std::filesystem::path> path() const;

    OSStatus add(const KeychainItem& item) override;
    OSStatus update(const KeychainQuery& query, const KeychainAttributes& changes) override;
    OSStatus copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& result) override;
    OSStatus remove(const KeychainQuery& query) override;

private:
    struct Store;
    SQLiteKeychainBackend(std::optional<std::string> groupIdentifier, std::optional<std::filesystem::path> file,
                          StoreOptions options);
    // Throws KeychainError; callers hold mutex_.
    Store& store();
    // Throws SQLiteError.
    std::unique_ptr<Store> openReplacingDamage(const std::filesystem::path& file) const;
    template <class Body>
    OSStatus guarded(const char* name, Body&& body);

    std::optional<std::string> groupIdentifier_;
    StoreOptions options_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> file_;
    std::unique_ptr<Store> store_;
};

}  // namespace Platform::detail

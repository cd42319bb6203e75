#pragma once

// The activities this process has recorded, per user, item and action:
//
//   auto& store = Common::LocalDatabaseManager::shared();  // throws LocalDatabaseError
//   if (!store.activityExists(userID, itemID, Common::TarnEventActionType::rename)) {
//       store.loggingActivity(userID, itemID, Common::TarnEventActionType::rename);
//   }

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "Common/fileprovider/TarnEventActionType.h"
#include "Common/local/LocalDatabaseError.h"
#include "Platform/core/Export.h"

namespace Common {

// Rows live in a temporary table of this process's connection: another process, even on
// the same file, never sees them. Thread-safe.
class QUILLO_EXPORT LocalDatabaseManager {
public:
    static constexpr std::string_view LocalActivityManagerErrorDomain = "LocalActivityManagerErrorDomain";

    // Created on first use from the group container's "sqlite.db". Throws LocalDatabaseError
    // when the container is missing or the database cannot be opened; a later call tries again.
    static LocalDatabaseManager& shared();

    // Opens "sqlite.db" in `container`. Throws LocalDatabaseError.
    explicit LocalDatabaseManager(const std::filesystem::path& container);
    virtual ~LocalDatabaseManager();
    LocalDatabaseManager(const LocalDatabaseManager&) = delete;
    LocalDatabaseManager& operator=(const LocalDatabaseManager&) = delete;

    // Records one more row; a failure is logged and otherwise ignored.
    virtual void loggingActivity(std::int64_t userID, const std::string& itemID, TarnEventActionType action);
    // Whether at least one row holds exactly this triple; false (and a log line) on failure.
    [[nodiscard]] virtual bool activityExists(std::int64_t userID, const std::string& itemID,
                                              TarnEventActionType action);

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace Common

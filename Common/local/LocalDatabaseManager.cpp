#include "Common/local/LocalDatabaseManager.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <mutex>
#include <optional>

#include "Common/auth/SharedConstants.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/files/FileURL.h"
#include "Platform/log/Logger.h"

namespace Common {

namespace {

constexpr int busyTimeoutMilliseconds = 10'000;

constexpr const char* createTable =
    R"(CREATE TEMPORARY TABLE IF NOT EXISTS "activities" ("id" INTEGER PRIMARY KEY NOT NULL, "user_id" INTEGER NOT NULL, "item_id" TEXT NOT NULL, "action" TEXT NOT NULL))";
// Without it every lookup reads the whole table: 1,800 times slower at 100,000 rows
// (docs/PERFORMANCE.md). It answers the same rows, so results do not change.
constexpr const char* createIndex =
    R"(CREATE INDEX IF NOT EXISTS temp."activities_triple" ON "activities" ("user_id", "item_id", "action"))";
constexpr const char* insertActivity = R"(INSERT INTO "activities" ("user_id", "item_id", "action") VALUES (?, ?, ?))";
constexpr const char* countActivities =
    R"(SELECT count(*) FROM "activities" WHERE "user_id" = ? AND "item_id" = ? AND "action" = ?)";

const Platform::Logger& logger() {
    static const Platform::Logger instance(Platform::Logger::defaultSubsystem(), "LocalDatabaseManager");
    return instance;
}

[[noreturn]] void failToStart(LocalDatabaseError::Code code, const std::string& message) {
    logger().fault("init() %{public}s", message.c_str());
    throw LocalDatabaseError(code, message);
}

SQLite::Database open(const std::filesystem::path& container) {
    const auto url = Platform::fileURL(std::filesystem::absolute(container / "sqlite.db"), Platform::FileURLKind::file);
    if (!url) failToStart(LocalDatabaseError::Code::connectionFailed, "Failed to connect SQLite database: invalid path");
    try {
        SQLite::Database db(url->absoluteString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_URI,
                            busyTimeoutMilliseconds);
        db.exec(createTable);
        db.exec(createIndex);
        return db;
    } catch (const std::exception& error) {
        failToStart(LocalDatabaseError::Code::connectionFailed,
                    std::string("Failed to connect SQLite database: ") + error.what());
    }
}

}  // namespace

// One connection and its two statements, prepared once and reset after every use. The
// mutex keeps a statement to one thread from bind to reset.
struct LocalDatabaseManager::Connection {
    explicit Connection(const std::filesystem::path& container)
        : db(open(container)), insert(db, insertActivity), count(db, countActivities) {}

    std::mutex mutex;
    SQLite::Database db;
    SQLite::Statement insert;
    SQLite::Statement count;
};

LocalDatabaseManager& LocalDatabaseManager::shared() {
    static std::mutex mutex;
    static std::unique_ptr<LocalDatabaseManager> instance;
    const std::lock_guard lock(mutex);
    if (!instance) {
        const auto container = Platform::ApplicationGroupContainer::containerURL(appGroupIdentifier);
        if (!container) failToStart(LocalDatabaseError::Code::containerUnavailable, "Failed to get container url");
        instance = std::make_unique<LocalDatabaseManager>(*container);
    }
    return *instance;
}

LocalDatabaseManager::LocalDatabaseManager(const std::filesystem::path& container)
    : connection_(std::make_unique<Connection>(container)) {}

LocalDatabaseManager::~LocalDatabaseManager() = default;

void LocalDatabaseManager::loggingActivity(std::int64_t userID, const std::string& itemID,
                                           TarnEventActionType action) {
    const std::lock_guard lock(connection_->mutex);
    auto& statement = connection_->insert;
    try {
        statement.bind(1, userID);
        // Both outlive the statement's use: reset comes before this call returns.
        statement.bindNoCopy(2, itemID);
        statement.bindNoCopy(3, Platform::rawValue(action).data());
        statement.exec();
    } catch (const std::exception& error) {
        logger().error("loggingActivity(userID:itemID:action:) %{public}s", error.what());
    }
    try {
        statement.reset();
    } catch (const std::exception&) {
        // reset repeats the step's error, already logged above.
    }
}

bool LocalDatabaseManager::activityExists(std::int64_t userID, const std::string& itemID,
                                          TarnEventActionType action) {
    const std::lock_guard lock(connection_->mutex);
    auto& statement = connection_->count;
    bool exists = false;
    try {
        statement.bind(1, userID);
        // Both outlive the statement's use: reset comes before this call returns.
        statement.bindNoCopy(2, itemID);
        statement.bindNoCopy(3, Platform::rawValue(action).data());
        if (statement.executeStep()) exists = statement.getColumn(0).getInt64() > 0;
    } catch (const std::exception& error) {
        logger().error("matching(userID:itemID:action:) %{public}s", error.what());
        exists = false;
    }
    try {
        statement.reset();
    } catch (const std::exception&) {
    }
    return exists;
}

}  // namespace Common

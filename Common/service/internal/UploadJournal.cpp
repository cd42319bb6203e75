#include "Common/service/internal/UploadJournal.h"

#include <system_error>

#include "Platform/log/Logger.h"
#include "Platform/sqlite/internal/SQLiteDatabase.h"

namespace Common::detail {

namespace {

using Platform::detail::SQLiteDatabase;
using Platform::detail::SQLiteError;
using Platform::detail::SQLiteSchema;
using Platform::detail::SQLiteStatement;
using Platform::detail::SQLiteStatementScope;

constexpr SQLiteSchema schema{
    .version = 1,
    .table = "uploads",
    .createStatements = "CREATE TABLE IF NOT EXISTS uploads(id INTEGER PRIMARY KEY, path TEXT NOT NULL,"
                        " family INTEGER NOT NULL, target TEXT NOT NULL, name TEXT NOT NULL, s3key TEXT NOT NULL,"
                        " size INTEGER NOT NULL, mtime REAL NOT NULL, part_size INTEGER NOT NULL,"
                        " UNIQUE(path, family, target, name));"
                        "CREATE TABLE IF NOT EXISTS parts(upload INTEGER NOT NULL, number INTEGER NOT NULL,"
                        " etag TEXT NOT NULL, PRIMARY KEY(upload, number));"
                        "PRAGMA user_version = 1;",
    .storeName = "upload journal",
};

Platform::Logger journalLogger() { return Platform::Logger(Platform::Logger::defaultSubsystem(), "Uploader"); }

void removeFiles(const std::filesystem::path& file) {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::remove(file.string() + suffix, ignored);
    }
}

}  // namespace

UploadJournal::UploadJournal(std::unique_ptr<SQLiteDatabase> database) : database_(std::move(database)) {}
UploadJournal::~UploadJournal() = default;

std::shared_ptr<UploadJournal> UploadJournal::open(const std::filesystem::path& file) {
    // A journal only saves work: when the file is damaged, its entries are given up.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            Platform::detail::makePrivateDirectory(file.parent_path());
            return std::shared_ptr<UploadJournal>(new UploadJournal(std::make_unique<SQLiteDatabase>(file, schema)));
        } catch (const SQLiteError& error) {
            journalLogger().error("Upload journal %{public}s: %{public}s", file.string(), error.message());
            if (error.isBusy() || attempt > 0) break;
            removeFiles(file);
        } catch (const std::exception& error) {
            journalLogger().error("Upload journal %{public}s: %{public}s", file.string(), std::string(error.what()));
            break;
        }
    }
    return nullptr;
}

std::optional<JournalEntry> UploadJournal::find(const JournalKey& key, std::size_t partCount) {
    std::lock_guard lock(mutex_);
    try {
        auto select = database_->prepare(
            "SELECT id, s3key, size, mtime, part_size FROM uploads WHERE path = ?1 AND family = ?2 AND target = ?3"
            " AND name = ?4");
        select.bindText(1, key.path);
        select.bindInt64(2, key.family);
        select.bindText(3, key.target);
        select.bindText(4, key.name);
        if (!select.step()) return std::nullopt;
        JournalEntry entry;
        entry.id = select.columnInt64(0);
        const bool typed = select.columnType(1) == SQLITE_TEXT && select.columnType(2) == SQLITE_INTEGER &&
                           select.columnType(3) == SQLITE_FLOAT && select.columnType(4) == SQLITE_INTEGER;
        entry.s3Key = typed ? select.columnText(1) : std::string();
        const auto size = select.columnInt64(2);
        const auto partSize = select.columnInt64(4);
        entry.mtime = select.columnDouble(3);
        select.reset();
        bool sane = typed && !entry.s3Key.empty() && entry.s3Key.size() <= maximumTextSize && size >= 0 &&
                    partSize > 0;
        entry.size = static_cast<std::uint64_t>(size);
        entry.partSize = static_cast<std::uint64_t>(partSize);
        entry.eTags.assign(partCount, std::nullopt);
        if (sane) {
            auto parts = database_->prepare("SELECT number, etag FROM parts WHERE upload = ?1");
            parts.bindInt64(1, entry.id);
            while (parts.step()) {
                const auto number = parts.columnInt64(0);
                if (number < 0 || static_cast<std::uint64_t>(number) >= partCount ||
                    parts.columnType(1) != SQLITE_TEXT) {
                    sane = false;
                    break;
                }
                auto tag = parts.columnText(1);
                if (tag.empty() || tag.size() > maximumTextSize) {
                    sane = false;
                    break;
                }
                entry.eTags[static_cast<std::size_t>(number)] = std::move(tag);
            }
        }
        if (sane) return entry;
        journalLogger().error("Upload journal entry %{public}lld is unusable; the upload starts over",
                              static_cast<long long>(entry.id));
    } catch (const SQLiteError& error) {
        journalLogger().error("Upload journal: %{public}s", error.message());
    }
    return std::nullopt;
}

std::optional<std::int64_t> UploadJournal::begin(const JournalKey& key, const JournalEntry& entry) {
    if (entry.s3Key.size() > maximumTextSize) return std::nullopt;
    std::lock_guard lock(mutex_);
    try {
        Platform::detail::SQLiteTransaction transaction(*database_);
        auto erase = database_->prepare(
            "DELETE FROM parts WHERE upload IN (SELECT id FROM uploads WHERE path = ?1 AND family = ?2 AND"
            " target = ?3 AND name = ?4)");
        auto eraseUpload =
            database_->prepare("DELETE FROM uploads WHERE path = ?1 AND family = ?2 AND target = ?3 AND name = ?4");
        for (auto* statement : {&erase, &eraseUpload}) {
            statement->bindText(1, key.path);
            statement->bindInt64(2, key.family);
            statement->bindText(3, key.target);
            statement->bindText(4, key.name);
            statement->step();
            statement->reset();
        }
        auto insert = database_->prepare(
            "INSERT INTO uploads(path, family, target, name, s3key, size, mtime, part_size)"
            " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        insert.bindText(1, key.path);
        insert.bindInt64(2, key.family);
        insert.bindText(3, key.target);
        insert.bindText(4, key.name);
        insert.bindText(5, entry.s3Key);
        insert.bindInt64(6, static_cast<std::int64_t>(entry.size));
        insert.bindDouble(7, entry.mtime);
        insert.bindInt64(8, static_cast<std::int64_t>(entry.partSize));
        insert.step();
        insert.reset();
        const auto id = database_->scalarInt64("SELECT last_insert_rowid()");
        transaction.commit();
        return id;
    } catch (const SQLiteError& error) {
        journalLogger().error("Upload journal: %{public}s", error.message());
        return std::nullopt;
    }
}

void UploadJournal::recordPart(std::int64_t id, std::size_t index, const std::string& eTag) {
    if (eTag.size() > maximumTextSize) return;
    std::lock_guard lock(mutex_);
    try {
        auto insert = database_->prepare("INSERT OR REPLACE INTO parts(upload, number, etag) VALUES(?1, ?2, ?3)");
        insert.bindInt64(1, id);
        insert.bindInt64(2, static_cast<std::int64_t>(index));
        insert.bindText(3, eTag);
        insert.step();
    } catch (const SQLiteError& error) {
        journalLogger().error("Upload journal: %{public}s", error.message());
    }
}

void UploadJournal::remove(std::int64_t id) {
    std::lock_guard lock(mutex_);
    try {
        Platform::detail::SQLiteTransaction transaction(*database_);
        for (const char* sql : {"DELETE FROM parts WHERE upload = ?1", "DELETE FROM uploads WHERE id = ?1"}) {
            auto statement = database_->prepare(sql);
            statement.bindInt64(1, id);
            statement.step();
        }
        transaction.commit();
    } catch (const SQLiteError& error) {
        journalLogger().error("Upload journal: %{public}s", error.message());
    }
}

}  // namespace Common::detail

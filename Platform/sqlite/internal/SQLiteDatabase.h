#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/core/Error.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/sqlite/StoreOptions.h"

// The connection the shared stores (user defaults, keychain) and the upload journal build
// on. Only library sources include this header, never a public one: no SQLite type leaks out.
namespace Platform::detail {

class SQLiteError : public ErrorType<SQLiteError> {
public:
    SQLiteError(int code, std::string message) : code_(code), message_(std::move(message)) {}

    // The primary SQLite result code (SQLITE_CANTOPEN for file system failures).
    int code() const noexcept { return code_ & 0xff; }
    int extendedCode() const noexcept { return code_; }
    // The file is not a database, or not an intact one.
    bool isCorruption() const noexcept { return code() == SQLITE_CORRUPT || code() == SQLITE_NOTADB; }
    bool isConstraint() const noexcept { return code() == SQLITE_CONSTRAINT; }
    // Another process held the file longer than the store waits.
    bool isBusy() const noexcept { return code() == SQLITE_BUSY || code() == SQLITE_LOCKED; }
    const std::string& message() const noexcept { return message_; }

    std::optional<std::string> errorDescription() const override { return message_; }

private:
    int code_;
    std::string message_;
};

using SQLiteConnectionHandle = UniqueHandle<sqlite3*, &sqlite3_close_v2>;
using SQLiteStatementHandle = UniqueHandle<sqlite3_stmt*, &sqlite3_finalize>;

class SQLiteStatement {
public:
    SQLiteStatement(sqlite3* database, std::string_view sql);
    SQLiteStatement(SQLiteStatement&&) noexcept = default;
    SQLiteStatement& operator=(SQLiteStatement&&) = delete;

    // Parameters count from 1. Text and blobs are copied, so views may be temporaries.
    void bindNull(int index);
    void bindText(int index, std::string_view text);
    void bindBlob(int index, std::string_view bytes);
    void bindInt64(int index, std::int64_t value);
    void bindDouble(int index, double value);

    // True while a row is available; throws SQLiteError on failure.
    bool step();
    // Ends the statement's transaction and clears its parameters for the next use.
    void reset() noexcept;

    int columnType(int column) const;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL
    std::string columnText(int column) const;
    std::string columnBlob(int column) const;
    std::int64_t columnInt64(int column) const;
    double columnDouble(int column) const;

private:
    void check(int status) const;

    sqlite3* database_;
    SQLiteStatementHandle statement_;
};

// Resets a statement when the scope ends. In WAL mode a statement that stays
// un-reset keeps its read snapshot, and later reads would miss other processes' writes.
class SQLiteStatementScope {
public:
    explicit SQLiteStatementScope(SQLiteStatement& statement) noexcept : statement_(statement) {}
    ~SQLiteStatementScope() { statement_.reset(); }
    SQLiteStatementScope(const SQLiteStatementScope&) = delete;
    SQLiteStatementScope& operator=(const SQLiteStatementScope&) = delete;

private:
    SQLiteStatement& statement_;
};

// What a store's file must hold: its schema version (PRAGMA user_version), the table
// that shows the schema is there, and the statements that create both.
struct SQLiteSchema {
    std::int64_t version;
    const char* table;
    const char* createStatements;
    const char* storeName;  // for errors: "keychain", "store"
};

// One connection to a database file shared by several processes. Not thread-safe:
// its owner serialises calls.
class SQLiteDatabase {
public:
    // The largest text or blob a connection reads or writes; larger ones fail with SQLITE_TOOBIG.
    static constexpr int maximumValueSize = 16 * 1024 * 1024;

    // Opens `file`, creating it with mode 0600 (and narrowing a wider existing one),
    // switches to WAL with synchronous commits, checks the file is an intact database
    // and prepares `schema` when the file lacks it. A prepared file is only read, so
    // opening never waits for a writer. Waits for other processes at most
    // options.busyTimeout in all. Throws SQLiteError; a damaged file (isCorruption) is
    // left untouched.
    SQLiteDatabase(const std::filesystem::path& file, const SQLiteSchema& schema, const StoreOptions& options = {});
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    void execute(const char* sql);
    SQLiteStatement prepare(std::string_view sql) { return SQLiteStatement(database_.get(), sql); }
    // The first column of the first row of `sql`, as text.
    std::string scalarText(const char* sql);
    std::int64_t scalarInt64(const char* sql);
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const noexcept;

    const std::filesystem::path& path() const noexcept { return path_; }

    // How a connection waits for other processes; the busy handler's context.
    struct BusyWait;

private:
    void switchToWAL();
    void checkIntegrity();
    void prepareSchema(const SQLiteSchema& schema);
    bool hasSchema(const SQLiteSchema& schema);

    std::filesystem::path path_;
    std::unique_ptr<BusyWait> wait_;
    SQLiteConnectionHandle database_;
};

// BEGIN IMMEDIATE: takes the write lock up front so a read-then-write sequence
// cannot be interleaved by another process. Rolls back unless committed.
class SQLiteTransaction {
public:
    explicit SQLiteTransaction(SQLiteDatabase& database);
    ~SQLiteTransaction();
    SQLiteTransaction(const SQLiteTransaction&) = delete;
    SQLiteTransaction& operator=(const SQLiteTransaction&) = delete;
    void commit();

private:
    SQLiteDatabase& database_;
    bool open_ = true;
};

// Creates `directory` and its missing parents, and gives `directory` mode 0700.
// Throws SQLiteError (SQLITE_CANTOPEN) when that fails or it is not a directory.
void makePrivateDirectory(const std::filesystem::path& directory);

}  // namespace Platform::detail

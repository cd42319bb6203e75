#include "Platform/sqlite/SQLiteDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace Platform {

namespace {

[[noreturn]] void throwFileError(const std::filesystem::path& path, std::string_view what, int error) {
    throw SQLiteError(SQLITE_CANTOPEN, std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

// SQLite gives the -wal and -shm files the mode of the database file, so the
// database file is created here first, owner-only.
void createPrivateFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throwFileError(file, "Cannot open", errno);
    struct stat info{};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
    } else if ((info.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0) {
        error = errno;
    }
    ::close(fd);
    if (error != 0) throwFileError(file, "Cannot use", error);
}

}  // namespace

void makePrivateDirectory(const std::filesystem::path& directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory.parent_path(), ec);
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) throwFileError(directory, "Cannot create", errno);
    struct stat info{};
    if (::lstat(directory.c_str(), &info) != 0) throwFileError(directory, "Cannot inspect", errno);
    if (!S_ISDIR(info.st_mode)) throwFileError(directory, "Not a directory:", ENOTDIR);
    if ((info.st_mode & 0777) != 0700 && ::chmod(directory.c_str(), 0700) != 0) {
        throwFileError(directory, "Cannot restrict", errno);
    }
}

SQLiteStatement::SQLiteStatement(sqlite3* database, std::string_view sql) : database_(database) {
    const int status = sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
    if (status != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        throw SQLiteError(status, sqlite3_errmsg(database_));
    }
}

SQLiteStatement::~SQLiteStatement() {
    sqlite3_finalize(statement_);
}

void SQLiteStatement::check(int status) const {
    if (status != SQLITE_OK) throw SQLiteError(status, sqlite3_errmsg(database_));
}

void SQLiteStatement::bindNull(int index) {
    check(sqlite3_bind_null(statement_, index));
}

void SQLiteStatement::bindText(int index, std::string_view text) {
    check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SQLiteStatement::bindBlob(int index, std::string_view bytes) {
    // A null pointer would bind NULL rather than an empty blob.
    static const char empty = 0;
    check(sqlite3_bind_blob64(statement_, index, bytes.empty() ? &empty : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT));
}

void SQLiteStatement::bindInt64(int index, std::int64_t value) {
    check(sqlite3_bind_int64(statement_, index, value));
}

void SQLiteStatement::bindDouble(int index, double value) {
    check(sqlite3_bind_double(statement_, index, value));
}

bool SQLiteStatement::step() {
    const int status = sqlite3_step(statement_);
    if (status == SQLITE_ROW) return true;
    if (status == SQLITE_DONE) return false;
    throw SQLiteError(sqlite3_extended_errcode(database_), sqlite3_errmsg(database_));
}

void SQLiteStatement::reset() noexcept {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int SQLiteStatement::columnType(int column) const {
    return sqlite3_column_type(statement_, column);
}

std::string SQLiteStatement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

std::string SQLiteStatement::columnBlob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
}

std::int64_t SQLiteStatement::columnInt64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double SQLiteStatement::columnDouble(int column) const {
    return sqlite3_column_double(statement_, column);
}

SQLiteDatabase::SQLiteDatabase(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout)
    : path_(file) {
    createPrivateFile(file);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (const int status = sqlite3_open_v2(file.c_str(), &database_, flags, nullptr); status != SQLITE_OK) {
        SQLiteError error(status, database_ ? sqlite3_errmsg(database_) : sqlite3_errstr(status));
        sqlite3_close_v2(database_);
        database_ = nullptr;
        throw error;
    }
    try {
        sqlite3_extended_result_codes(database_, 1);
        sqlite3_busy_timeout(database_, static_cast<int>(busyTimeout.count()));
        // Switching to WAL needs a moment of exclusive access; when another process
        // is opening the same file it answers BUSY without waiting, so retry a bounded time.
        const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
        for (;;) {
            try {
                if (scalarText("PRAGMA journal_mode=WAL") == "wal") break;
            } catch (const SQLiteError& error) {
                if (error.code() != SQLITE_BUSY && error.code() != SQLITE_LOCKED) throw;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                throw SQLiteError(SQLITE_BUSY, "Cannot switch " + file.string() + " to WAL mode");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // A commit is on disk when the call that made it returns.
        execute("PRAGMA synchronous=FULL");
        if (const auto verdict = scalarText("PRAGMA quick_check"); verdict != "ok") {
            throw SQLiteError(SQLITE_CORRUPT, file.string() + " is damaged: " + verdict);
        }
    } catch (...) {
        sqlite3_close_v2(database_);
        database_ = nullptr;
        throw;
    }
}

SQLiteDatabase::~SQLiteDatabase() {
    sqlite3_close_v2(database_);
}

void SQLiteDatabase::execute(const char* sql) {
    char* message = nullptr;
    const int status = sqlite3_exec(database_, sql, nullptr, nullptr, &message);
    if (status != SQLITE_OK) {
        SQLiteError error(sqlite3_extended_errcode(database_), message ? message : sqlite3_errstr(status));
        sqlite3_free(message);
        throw error;
    }
}

std::string SQLiteDatabase::scalarText(const char* sql) {
    auto statement = prepare(sql);
    return statement.step() ? statement.columnText(0) : std::string();
}

std::int64_t SQLiteDatabase::scalarInt64(const char* sql) {
    auto statement = prepare(sql);
    return statement.step() ? statement.columnInt64(0) : 0;
}

int SQLiteDatabase::changes() const noexcept {
    return sqlite3_changes(database_);
}

SQLiteTransaction::SQLiteTransaction(SQLiteDatabase& database) : database_(database) {
    database_.execute("BEGIN IMMEDIATE");
}

SQLiteTransaction::~SQLiteTransaction() {
    if (!open_) return;
    try {
        database_.execute("ROLLBACK");
    } catch (const SQLiteError&) {
        // SQLite already rolled back after the error that brought us here.
    }
}

void SQLiteTransaction::commit() {
    database_.execute("COMMIT");
    open_ = false;
}

}  // namespace Platform

#include "Platform/sqlite/internal/SQLiteDatabase.h"
#include "Platform/core/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

namespace Platform::detail {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void throwFileError(const std::filesystem::path& path, std::string_view what, int error) {
    throw SQLiteError(SQLITE_CANTOPEN, std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

// The connection's last message with its code, so a log line says which failure it was.
SQLiteError connectionError(sqlite3* database, int status) {
    const int code = database ? sqlite3_extended_errcode(database) : status;
    const char* message = database ? sqlite3_errmsg(database) : sqlite3_errstr(status);
    return SQLiteError(code, std::string(message) + " (SQLite code " + std::to_string(code) + ")");
}

// SQLite gives the -wal and -shm files the mode of the database file, so the
// database file is created here first, owner-only.
void createPrivateFile(const std::filesystem::path& file) {
    const FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) throwFileError(file, "Cannot open", errno);
    struct stat info{};
    if (::fstat(fd.get(), &info) != 0) throwFileError(file, "Cannot use", errno);
    if (!S_ISREG(info.st_mode)) throwFileError(file, "Cannot use", EINVAL);
    if ((info.st_mode & 0777) != 0600 && ::fchmod(fd.get(), 0600) != 0) throwFileError(file, "Cannot use", errno);
}

// Pauses between attempts, as SQLite's own busy handler does: short at first, then longer.
std::chrono::milliseconds backoff(int attempt) {
    static constexpr std::array<int, 8> steps{1, 2, 5, 10, 15, 20, 25, 50};
    return std::chrono::milliseconds(steps[static_cast<std::size_t>(std::min<int>(attempt, steps.size() - 1))]);
}

}  // namespace

struct SQLiteDatabase::BusyWait {
    std::chrono::milliseconds timeout;
    std::function<void()> onWait;
    // While opening, every wait ends at the open's deadline rather than its own.
    std::optional<Clock::time_point> openDeadline;
    Clock::time_point started{};

    void noteWaiting() noexcept {
        if (!onWait) return;
        try {
            onWait();
        } catch (...) {
            // An observer's failure must not change how the store waits.
        }
    }

    // True to try again after a pause, false to give up.
    bool pause(int attempt) noexcept {
        const auto now = Clock::now();
        if (attempt == 0) {
            started = now;
            noteWaiting();
        }
        const auto deadline = openDeadline.value_or(started + timeout);
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(backoff(attempt), deadline - now));
        return true;
    }

    static int handler(void* context, int attempt) noexcept {
        return static_cast<BusyWait*>(context)->pause(attempt) ? 1 : 0;
    }
};

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
    sqlite3_stmt* statement = nullptr;
    const int status = sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    statement_.reset(statement);
    if (status != SQLITE_OK) throw connectionError(database_, status);
}

void SQLiteStatement::check(int status) const {
    if (status != SQLITE_OK) throw connectionError(database_, status);
}

void SQLiteStatement::bindNull(int index) {
    check(sqlite3_bind_null(statement_.get(), index));
}

void SQLiteStatement::bindText(int index, std::string_view text) {
    check(sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SQLiteStatement::bindBlob(int index, std::string_view bytes) {
    // A null pointer would bind NULL rather than an empty blob.
    static const char empty = 0;
    check(sqlite3_bind_blob64(statement_.get(), index, bytes.empty() ? &empty : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT));
}

void SQLiteStatement::bindInt64(int index, std::int64_t value) {
    check(sqlite3_bind_int64(statement_.get(), index, value));
}

void SQLiteStatement::bindDouble(int index, double value) {
    check(sqlite3_bind_double(statement_.get(), index, value));
}

bool SQLiteStatement::step() {
    const int status = sqlite3_step(statement_.get());
    if (status == SQLITE_ROW) return true;
    if (status == SQLITE_DONE) return false;
    throw connectionError(database_, status);
}

void SQLiteStatement::reset() noexcept {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

int SQLiteStatement::columnType(int column) const {
    return sqlite3_column_type(statement_.get(), column);
}

std::string SQLiteStatement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), column));
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

std::string SQLiteStatement::columnBlob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_.get(), column));
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
}

std::int64_t SQLiteStatement::columnInt64(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

double SQLiteStatement::columnDouble(int column) const {
    return sqlite3_column_double(statement_.get(), column);
}

SQLiteDatabase::SQLiteDatabase(const std::filesystem::path& file, const SQLiteSchema& schema,
                               const StoreOptions& options)
    : path_(file),
      wait_(std::make_unique<BusyWait>(BusyWait{.timeout = options.busyTimeout,
                                                .onWait = options.onWait,
                                                .openDeadline = Clock::now() + options.busyTimeout})) {
    createPrivateFile(file);
    sqlite3* database = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    const int status = sqlite3_open_v2(file.c_str(), &database, flags, nullptr);
    database_.reset(database);
    if (status != SQLITE_OK) throw connectionError(database, status);
    sqlite3_extended_result_codes(database, 1);
    // A closing connection empties its -wal file through its own handle instead of deleting
    // it by name: once a damaged file has been moved aside, the names may belong to its
    // replacement. Emptying (a size limit of 0) leaves no old frames to replay over the file.
    int persistent = 1;
    sqlite3_file_control(database, "main", SQLITE_FCNTL_PERSIST_WAL, &persistent);
    sqlite3_busy_handler(database, &BusyWait::handler, wait_.get());
    sqlite3_limit(database, SQLITE_LIMIT_LENGTH, maximumValueSize);
    switchToWAL();
    // A commit is on disk when the call that made it returns.
    execute("PRAGMA synchronous=FULL");
    execute("PRAGMA journal_size_limit=0");
    checkIntegrity();
    prepareSchema(schema);
    wait_->openDeadline.reset();
}

SQLiteDatabase::~SQLiteDatabase() = default;

// Switching to WAL needs a moment of exclusive access; when another process is
// opening the same file it answers BUSY without waiting, so retry until the open's deadline.
void SQLiteDatabase::switchToWAL() {
    for (int attempt = 0;; ++attempt) {
        try {
            if (scalarText("PRAGMA journal_mode=WAL") == "wal") return;
        } catch (const SQLiteError& error) {
            if (!error.isBusy()) throw;
            if (!wait_->pause(attempt)) {
                throw SQLiteError(error.extendedCode(), "Cannot switch " + path_.string() + " to WAL mode: " + error.message());
            }
            continue;
        }
        // Another answer means the file refuses WAL (a read-only medium, say); waiting will not change it.
        throw SQLiteError(SQLITE_CANTOPEN, "Cannot switch " + path_.string() + " to WAL mode");
    }
}

void SQLiteDatabase::checkIntegrity() {
    if (const auto verdict = scalarText("PRAGMA quick_check"); verdict != "ok") {
        throw SQLiteError(SQLITE_CORRUPT, path_.string() + " is damaged: " + verdict);
    }
}

bool SQLiteDatabase::hasSchema(const SQLiteSchema& schema) {
    const auto version = scalarInt64("PRAGMA user_version");
    if (version > schema.version) {
        throw SQLiteError(SQLITE_CANTOPEN, std::string(schema.storeName) + " format " + std::to_string(version) +
                                               " is newer than this library");
    }
    auto statement = prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    statement.bindText(1, schema.table);
    return version == schema.version && statement.step();
}

// Only a file without the schema takes the write lock, so opening a prepared store
// goes on while another process writes to it.
void SQLiteDatabase::prepareSchema(const SQLiteSchema& schema) {
    if (hasSchema(schema)) return;
    SQLiteTransaction transaction(*this);
    if (hasSchema(schema)) return;  // another process prepared it meanwhile
    execute(schema.createStatements);
    transaction.commit();
}

void SQLiteDatabase::execute(const char* sql) {
    char* message = nullptr;
    const int status = sqlite3_exec(database_.get(), sql, nullptr, nullptr, &message);
    if (status != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(database_.get());
        SQLiteError error(code, std::string(message ? message : sqlite3_errstr(status)) + " (SQLite code " +
                                    std::to_string(code) + ")");
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
    return sqlite3_changes(database_.get());
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

}  // namespace Platform::detail

#pragma once

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "Platform/core/FileDescriptor.h"

namespace Platform::detail {

// A lock on a folder (flock) around opening the database files in it: shared while a
// process opens and checks a file, exclusive while one moves a damaged file aside. So
// no file is moved while another process is still opening it, and two processes never
// both move the same one.
class DirectoryLock {
public:
    enum class Mode { shared, exclusive };

    // Waits at most `timeout` for other holders. Throws SQLiteError: SQLITE_BUSY after
    // the wait, SQLITE_CANTOPEN when the folder cannot be opened or locked.
    DirectoryLock(const std::filesystem::path& directory, Mode mode, std::chrono::milliseconds timeout);

private:
    FileDescriptor fd_;  // closing releases the lock
};

// The name a damaged `file` is kept under: "<file name>.damaged-<UTC time>Z", with "-<n>"
// added when that is taken.
std::filesystem::path damagedFileName(const std::filesystem::path& file, std::time_t now, int attempt);

// Renames `file` and its -wal, -shm and -journal companions to damagedFileName (the
// companions keep their suffix, so the kept set still opens as one database) beside it,
// each with mode 0600, and returns the kept path of `file`. The companions go first: a
// fresh file must never meet an old write-ahead log. Throws SQLiteError (SQLITE_CANTOPEN)
// when a file cannot be moved; the caller holds a DirectoryLock on the folder.
std::filesystem::path moveDamagedDatabaseAside(const std::filesystem::path& file);

}  // namespace Platform::detail

#include "Platform/sqlite/internal/DamagedDatabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "Platform/sqlite/internal/SQLiteDatabase.h"
#include "Platform/time/Date.h"

using Platform::detail::SQLiteDatabase;
using Platform::detail::SQLiteError;

namespace Platform::detail {

namespace {

constexpr std::array<const char*, 3> companionSuffixes{"-wal", "-shm", "-journal"};
// Names tried before giving up; a clash needs that many damaged files in one second.
constexpr int maximumNameAttempts = 100;

[[noreturn]] void fail(const std::filesystem::path& path, std::string_view what, int error) {
    throw SQLiteError(SQLITE_CANTOPEN, std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

bool isPresent(const std::filesystem::path& path) {
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

std::filesystem::path withSuffix(const std::filesystem::path& path, const char* suffix) {
    return path.string() + suffix;
}

bool anyExists(const std::filesystem::path& kept) {
    if (isPresent(kept)) return true;
    for (const char* suffix : companionSuffixes) {
        if (isPresent(withSuffix(kept, suffix))) return true;
    }
    return false;
}

// False when `from` does not exist.
bool moveOne(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == ENOENT) return false;
        // File systems without RENAME_NOREPLACE; the folder lock keeps other movers out.
        if (errno != EINVAL || ::rename(from.c_str(), to.c_str()) != 0) fail(from, "Cannot move aside", errno);
    }
    // A symbolic link keeps its own mode (EOPNOTSUPP); its target is not ours to change.
    if (::fchmodat(AT_FDCWD, to.c_str(), 0600, AT_SYMLINK_NOFOLLOW) != 0 && errno != EOPNOTSUPP) {
        fail(to, "Cannot restrict", errno);
    }
    return true;
}

}  // namespace

DirectoryLock::DirectoryLock(const std::filesystem::path& directory, Mode mode, std::chrono::milliseconds timeout)
    : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_) fail(directory, "Cannot open", errno);
    const int operation = (mode == Mode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (auto pause = std::chrono::milliseconds(1); ::flock(fd_.get(), operation) != 0;
         pause = std::min(pause * 2, std::chrono::milliseconds(50))) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) fail(directory, "Cannot lock", errno);
        if (std::chrono::steady_clock::now() >= deadline) {
            throw SQLiteError(SQLITE_BUSY, "Another process is repairing the files in " + directory.string());
        }
        std::this_thread::sleep_for(pause);
    }
}

std::filesystem::path damagedFileName(const std::filesystem::path& file, std::time_t now, int attempt) {
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y%m%dT%H%M%SZ", &utc);
    std::string name = file.filename().string() + ".damaged-" + stamp.data();
    if (attempt > 0) name += "-" + std::to_string(attempt);
    return file.parent_path() / name;
}

std::filesystem::path moveDamagedDatabaseAside(const std::filesystem::path& file) {
    const auto now = static_cast<std::time_t>(Date::now().timeIntervalSince1970);
    for (int attempt = 0; attempt < maximumNameAttempts; ++attempt) {
        const auto kept = damagedFileName(file, now, attempt);
        if (anyExists(kept)) continue;
        for (const char* suffix : companionSuffixes) moveOne(withSuffix(file, suffix), withSuffix(kept, suffix));
        if (!moveOne(file, kept)) fail(file, "Cannot move aside", ENOENT);
        return kept;
    }
    fail(file, "Cannot find a free name to keep", EEXIST);
}

}  // namespace Platform::detail

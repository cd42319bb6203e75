#include "Platform/container/ApplicationGroupContainer.h"

#include <sys/stat.h>
#include <unistd.h>
#include <pwd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace Platform {

namespace {

std::mutex rootMutex;
std::optional<std::filesystem::path> explicitRoot;

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/tmp";
}

}  // namespace

void ApplicationGroupContainer::setRootDirectory(std::optional<std::filesystem::path> root) {
    std::lock_guard lock(rootMutex);
    explicitRoot = std::move(root);
}

std::filesystem::path ApplicationGroupContainer::rootDirectory() {
    {
        std::lock_guard lock(rootMutex);
        if (explicitRoot) return *explicitRoot;
    }
    // Only absolute values count, as the base directory rules say.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return data;
    return homeDirectory() / ".local" / "share";
}

std::optional<std::filesystem::path> ApplicationGroupContainer::containerURL(std::string_view groupIdentifier) {
    // A group identifier names one directory; anything that could walk elsewhere is refused.
    if (groupIdentifier.empty() || groupIdentifier == "." || groupIdentifier == ".." ||
        groupIdentifier.find('/') != std::string_view::npos ||
        groupIdentifier.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto root = rootDirectory();
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    if (ec) return std::nullopt;
    auto directory = root / std::filesystem::path(std::string(groupIdentifier));
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    struct stat info{};
    if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    if ((info.st_mode & 0777) != 0700 && ::chmod(directory.c_str(), 0700) != 0) return std::nullopt;
    return directory;
}

}  // namespace Platform

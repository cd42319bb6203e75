#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "Platform/container/ApplicationGroupContainer.h"

namespace TestSupport {

// A fresh folder under the temporary directory, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

// A temporary folder that is the application-group root while it lives, so every store
// the test opens is its own.
class TemporaryRoot : public TemporaryFolder {
public:
    TemporaryRoot() { Platform::ApplicationGroupContainer::setRootDirectory(path()); }
    ~TemporaryRoot() { Platform::ApplicationGroupContainer::setRootDirectory(std::nullopt); }
};

// The whole of a file; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's contents with `bytes`.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The permission bits of `path`; 01000 when it does not exist.
inline unsigned modeOf(const std::filesystem::path& path) {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 01000;
}

}  // namespace TestSupport

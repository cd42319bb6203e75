#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "Platform/container/ApplicationGroupContainer.h"
#include "tests/support/ChildProcess.h"

// Shared-store tests run in a fresh application-group root, and re-run this test
// binary as the other process of the group (TestSupport::ChildProcess); the child
// learns the root from QUILLO_STORE_TEST_ROOT.
namespace StoreTestSupport {

inline constexpr const char* rootVariable = "QUILLO_STORE_TEST_ROOT";

class TemporaryRoot {
public:
    TemporaryRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillo-store-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        Platform::ApplicationGroupContainer::setRootDirectory(path_);
    }
    ~TemporaryRoot() {
        Platform::ApplicationGroupContainer::setRootDirectory(std::nullopt);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Points the container root at the parent's folder; false outside a child run.
inline bool enterChildRoot() {
    const char* root = std::getenv(rootVariable);
    if (root == nullptr) return false;
    Platform::ApplicationGroupContainer::setRootDirectory(std::filesystem::path(root));
    return true;
}

// What a child test needs to share this test's root.
inline TestSupport::ChildProcess::Options childOptions(const std::filesystem::path& root, std::string role = {}) {
    return {.role = std::move(role), .environment = {{rootVariable, root.string()}}};
}

// How a child process holds a store file (StoreHolder.DISABLED_HoldsTheFile).
enum class Hold {
    writer,          // a write transaction, as any writer of a WAL file takes
    everyone,        // exclusive locking mode: no other connection can even read
    rollbackWriter,  // a new file in rollback-journal mode with a write open: no switch to WAL
};

inline constexpr const char* heldFileVariable = "QUILLO_HELD_FILE";

// Starts a child that holds `file` as `hold` says, tells 'L' once it does, and lets go
// when told anything (or after a minute).
inline TestSupport::ChildProcess startHolder(Hold hold, const std::filesystem::path& file) {
    const char* roles[] = {"writer", "everyone", "rollback-writer"};
    return TestSupport::ChildProcess::start(
        "StoreHolder.DISABLED_HoldsTheFile",
        {.role = roles[static_cast<int>(hold)], .environment = {{heldFileVariable, file.string()}}});
}

inline unsigned modeOf(const std::filesystem::path& path) {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 01000;
}

}  // namespace StoreTestSupport

#pragma once

#include <filesystem>

#include "tests/support/ChildProcess.h"
#include "tests/support/TemporaryFolder.h"

// Shared-store tests run in a fresh application-group root (TemporaryRoot) and re-run
// this test binary as the other process of the group (TestSupport::ChildProcess).
namespace StoreTestSupport {

using TestSupport::modeOf;
using TestSupport::TemporaryRoot;

// How a child process holds a store file (the roles in StoreLockingTest.cpp).
enum class Hold {
    writer,          // a write transaction, as any writer of a WAL file takes
    everyone,        // exclusive locking mode: no other connection can even read
    rollbackWriter,  // a new file in rollback-journal mode with a write open: no switch to WAL
};

// Starts a child that holds `file` as `hold` says, tells 'L' once it does, and lets go
// when told anything (or after a minute).
inline TestSupport::ChildProcess startHolder(Hold hold, const std::filesystem::path& file) {
    const char* roles[] = {"hold-as-writer", "hold-from-everyone", "hold-in-rollback-mode"};
    return TestSupport::ChildProcess::play({.role = roles[static_cast<int>(hold)], .argument = file.string()});
}

}  // namespace StoreTestSupport

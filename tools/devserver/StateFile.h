#pragma once

#include <SQLiteCpp/Database.h>

#include <string>

#include "DevState.h"

namespace DevServer {

// Keeps the state in an SQLite file: one JSON snapshot row plus one row per file or part body,
// so a save writes only the bodies that changed.
class StateFile {
public:
    explicit StateFile(const std::string& path);
    // False when the file holds no state yet.
    [[nodiscard]] bool load(DevState& state);
    // Call with the state's mutex held.
    void save(DevState& state);

private:
    SQLite::Database database_;
};

}  // namespace DevServer

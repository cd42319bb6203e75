#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TemporaryFolder.h"

namespace TestSupport {

struct QuilloOutcome {
    int exitCode = -1;  // -1: killed by a signal
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Starts quillo with `home` as HOME and every XDG root, `input` on standard input (a file,
// so not a terminal), UTC dates and `environment` added. A child that hangs is ended by
// its alarm after 60 seconds.
pid_t startQuillo(const std::filesystem::path& home, const std::vector<std::string>& args, const std::string& input,
                  const Environment& environment = {});
// Reaps it and reads what it wrote.
QuilloOutcome finishQuillo(const std::filesystem::path& home, pid_t pid);
inline QuilloOutcome runQuillo(const std::filesystem::path& home, const std::vector<std::string>& args,
                               const std::string& input, const Environment& environment = {}) {
    return finishQuillo(home, startQuillo(home, args, input, environment));
}

// A fresh folder to be the program's home.
using TemporaryHome = TemporaryFolder;

}  // namespace TestSupport

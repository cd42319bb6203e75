#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
inline pid_t startQuillo(const std::filesystem::path& home, const std::vector<std::string>& args, const std::string& input,
                         const Environment& environment = {}) {
    namespace fs = std::filesystem;
    const auto in = home / "stdin", out = home / "stdout", err = home / "stderr";
    std::ofstream(in, std::ios::binary) << input;
    std::vector<std::string> storage{QUILLO_CLI_PATH};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto redirect = [](const fs::path& path, int target, int flags) {
            const int fd = ::open(path.c_str(), flags, 0600);
            if (fd < 0 || ::dup2(fd, target) < 0) ::_exit(126);
            ::close(fd);
        };
        redirect(in, STDIN_FILENO, O_RDONLY);
        redirect(out, STDOUT_FILENO, O_WRONLY | O_CREAT | O_TRUNC);
        redirect(err, STDERR_FILENO, O_WRONLY | O_CREAT | O_TRUNC);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("TZ", "UTC", 1);
        ::unsetenv("NO_COLOR");
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        ::alarm(60);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Reaps it and reads what it wrote.
inline QuilloOutcome finishQuillo(const std::filesystem::path& home, pid_t pid) {
    QuilloOutcome run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = readFile(home / "stdout");
    run.err = readFile(home / "stderr");
    return run;
}

inline QuilloOutcome runQuillo(const std::filesystem::path& home, const std::vector<std::string>& args,
                               const std::string& input, const Environment& environment = {}) {
    return finishQuillo(home, startQuillo(home, args, input, environment));
}

// A fresh folder to be the program's home.
using TemporaryHome = TemporaryFolder;

}  // namespace TestSupport

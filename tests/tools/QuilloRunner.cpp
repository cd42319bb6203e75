#include "tests/tools/QuilloRunner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace TestSupport {

namespace fs = std::filesystem;

pid_t startQuillo(const fs::path& home, const std::vector<std::string>& args, const std::string& input,
                  const Environment& environment) {
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

QuilloOutcome finishQuillo(const fs::path& home, pid_t pid) {
    QuilloOutcome run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = readFile(home / "stdout");
    run.err = readFile(home / "stderr");
    return run;
}

}  // namespace TestSupport

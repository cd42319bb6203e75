#include "DevServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace TestSupport {

#ifdef QUILLO_DEVSERVER_PATH
static constexpr const char* serverPath = QUILLO_DEVSERVER_PATH;
#else
static constexpr const char* serverPath = "";
#endif

bool DevServerProcess::available() { return serverPath[0] != '\0' && access(serverPath, X_OK) == 0; }

DevServerProcess::DevServerProcess(const std::vector<std::string>& arguments, int requestLog) {
    int output[2];
    if (!available() || pipe2(output, O_CLOEXEC) != 0) return;
    std::vector<std::string> words{serverPath, "--port", "0", "--exit-after", "120"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(output[1], STDOUT_FILENO);
        const int quiet = requestLog >= 0 ? requestLog : open("/dev/null", O_WRONLY);  // the request log
        dup2(quiet, STDERR_FILENO);
        execv(serverPath, argv.data());
        _exit(127);
    }
    close(output[1]);
    // The first line is the address; bounded wait, no sleeping.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && line.find('\n') == std::string::npos && line.size() < 200) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{.fd = output[0], .events = POLLIN};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[128];
        const auto got = read(output[0], chunk, sizeof chunk);
        if (got <= 0) break;
        line.append(chunk, static_cast<std::size_t>(got));
    }
    close(output[0]);
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) == 0 && line.find('\n') != std::string::npos)
        url_ = line.substr(prefix.size(), line.find('\n') - prefix.size());
}

int DevServerProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    // Bounded: a server that does not stop within 10 s is killed.
    const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    pollfd ready{.fd = exited, .events = POLLIN};
    if (exited < 0 || poll(&ready, 1, 10'000) != 1) kill(pid_, SIGKILL);
    if (exited >= 0) close(exited);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DevServerProcess::~DevServerProcess() { stop(); }

}  // namespace TestSupport

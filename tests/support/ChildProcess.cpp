#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "Platform/container/ApplicationGroupContainer.h"

extern char** environ;

namespace TestSupport {

namespace {

constexpr const char* roleVariable = "QUILLO_CHILD_ROLE";
constexpr const char* argumentVariable = "QUILLO_CHILD_ARGUMENT";
constexpr const char* rootVariable = "QUILLO_CHILD_CONTAINER_ROOT";
constexpr const char* pipesVariable = "QUILLO_CHILD_PIPES";  // "<read fd>,<write fd>" in the child
constexpr const char* roleTest = "ChildRole.DISABLED_Plays";

std::map<std::string, ChildRole::Body>& roles() {
    static std::map<std::string, ChildRole::Body> registered;
    return registered;
}

enum class Read { byte, ended, timedOut };

// Waits up to `timeout` for a byte from `fd`; end of file and errors read as `ended`.
Read readByte(int fd, std::chrono::milliseconds timeout, char& byte) {
    if (fd < 0) return Read::ended;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{.fd = fd, .events = POLLIN, .revents = 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Read::timedOut;
        const auto got = ready < 0 ? -1 : ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        return got == 1 ? Read::byte : Read::ended;
    }
}

std::optional<char> receiveByte(int fd, std::chrono::milliseconds timeout) {
    char byte = 0;
    return readByte(fd, timeout, byte) == Read::byte ? std::optional(byte) : std::nullopt;
}

bool writeByte(int fd, char byte) {
    ssize_t wrote = -1;
    while (fd >= 0 && (wrote = ::write(fd, &byte, 1)) < 0 && errno == EINTR) {
    }
    return wrote == 1;
}

int childPipe(int which) {
    const char* value = std::getenv(pipesVariable);
    if (value == nullptr) return -1;
    char* end = nullptr;
    const long readFd = std::strtol(value, &end, 10);
    if (which == 0) return static_cast<int>(readFd);
    return *end == ',' ? static_cast<int>(std::strtol(end + 1, nullptr, 10)) : -1;
}

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

ChildRole::ChildRole(std::string name, Body body) {
    roles().emplace(std::move(name), std::move(body));
}

// The one test a child of play() runs: the role its parent named.
TEST(ChildRole, DISABLED_Plays) {
    const auto found = roles().find(variable(roleVariable));
    ASSERT_NE(found, roles().end()) << "no role named \"" << variable(roleVariable) << '"';
    if (const auto root = variable(rootVariable); !root.empty()) {
        Platform::ApplicationGroupContainer::setRootDirectory(std::filesystem::path(root));
    }
    found->second(variable(argumentVariable));
}

ChildProcess ChildProcess::play(const Options& options) {
    return start(roleTest, options);
}

ChildProcess ChildProcess::start(const std::string& testName, const Options& options) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) std::abort();
    // A child that stopped reading must not kill this process with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);

    // Everything the child needs is built before fork: after it, only system calls.
    const std::string executable = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> arguments{executable, "--gtest_filter=" + testName, "--gtest_also_run_disabled_tests"};
    std::vector<std::string> environment{
        std::string(roleVariable) + "=" + options.role,
        std::string(argumentVariable) + "=" + options.argument,
        std::string(rootVariable) + "=" + options.containerRoot.string(),
        std::string(pipesVariable) + "=" + std::to_string(toChild[0]) + "," + std::to_string(fromChild[1]),
    };
    for (const auto& [name, value] : options.environment) environment.push_back(name + "=" + value);
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    for (auto& variable : environment) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const bool isolate = options.network == Network::isolated;

    const pid_t pid = ::fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        // The child's two ends outlive exec; the parent's ends close with it.
        if (::fcntl(toChild[0], F_SETFD, 0) != 0 || ::fcntl(fromChild[1], F_SETFD, 0) != 0) ::_exit(setupFailed);
        if (isolate && ::unshare(CLONE_NEWNET) != 0) ::_exit(setupFailed);
        ::execve(executable.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    return ChildProcess(pid, toChild[1], fromChild[0]);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      toChild_(std::exchange(other.toChild_, -1)),
      fromChild_(std::exchange(other.fromChild_, -1)) {}

ChildProcess::~ChildProcess() {
    kill();
    if (toChild_ >= 0) ::close(toChild_);
    if (fromChild_ >= 0) ::close(fromChild_);
}

bool ChildProcess::send(char message) {
    return writeByte(toChild_, message);
}

std::optional<char> ChildProcess::receive(std::chrono::milliseconds timeout) {
    return receiveByte(fromChild_, timeout);
}

// The child's end of its pipe closes when it exits, so waiting for end of file is
// waiting for the exit, with a deadline and without polling waitpid.
int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    // Nothing more to say: a child waiting to hear from this process hears its end.
    if (toChild_ >= 0) ::close(std::exchange(toChild_, -1));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Read read = Read::byte;
    for (char ignored = 0; read == Read::byte;) {
        read = readByte(fromChild_, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()),
                        ignored);
    }
    int status = 0;
    if (read == Read::timedOut) ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return read == Read::ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::optional<std::string> ChildProcess::role() {
    const char* value = std::getenv(roleVariable);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool ChildProcess::tell(char message) {
    return writeByte(childPipe(1), message);
}

std::optional<char> ChildProcess::hear(std::chrono::milliseconds timeout) {
    return receiveByte(childPipe(0), timeout);
}

}  // namespace TestSupport

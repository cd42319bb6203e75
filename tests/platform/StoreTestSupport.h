#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/container/ApplicationGroupContainer.h"

extern char** environ;

// Shared-store tests run in a fresh application-group root, and re-run this test
// binary as the other process of the group. Child tests are named DISABLED_ so an
// ordinary run skips them; they learn the root from QUILLO_STORE_TEST_ROOT.
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

struct Child {
    pid_t pid = -1;

    // The child's exit code, or -1 when it crashed or outlived `timeout` (then it is killed).
    int wait(std::chrono::seconds timeout = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Starts the test `name` of this binary in a new process rooted at `root`.
inline Child startChildTest(const std::string& name, const std::filesystem::path& root) {
    const std::string executable = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> arguments{executable, "--gtest_filter=" + name, "--gtest_also_run_disabled_tests"};
    std::vector<std::string> environment{std::string(rootVariable) + "=" + root.string()};
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    for (auto& variable : environment) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(executable.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return Child{pid};
}

inline unsigned modeOf(const std::filesystem::path& path) {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 01000;
}

}  // namespace StoreTestSupport

#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

enum class ChildNetwork { shared, isolated };  // isolated: a new network namespace of its own

struct ChildOptions {
    std::string role;
    std::vector<std::pair<std::string, std::string>> environment;  // added to this process's
    ChildNetwork network = ChildNetwork::shared;
    // The child's application-group root (the parent's TemporaryRoot); none: the default one.
    std::filesystem::path containerRoot;
    // Handed to the role's body.
    std::string argument;
};

// A part another process plays, registered by name at start-up:
//     const TestSupport::ChildRole writer("keychain-writer", [](const std::string&) { ... });
// and played by ChildProcess::play({.role = "keychain-writer"}). Gtest assertions in the
// body fail the child, whose exit code the parent reads.
class ChildRole {
public:
    using Body = std::function<void(const std::string& argument)>;
    ChildRole(std::string name, Body body);
};

// Runs a registered role, or one test of this binary, as another process (fork and exec of
// /proc/self/exe with a gtest filter), joined to this one by a pipe each way so the two
// take turns without sleeping.
class ChildProcess {
public:
    using Network = ChildNetwork;
    using Options = ChildOptions;

    // The exit code of a child that could not be set up (a namespace was refused).
    static constexpr int setupFailed = 77;

    // Plays the registered role `options.role`. Never returns a child that did not start:
    // a failed fork aborts the test program.
    static ChildProcess play(const Options& options);
    // Runs `testName` (Suite.Name or a pattern); inside, role() tells it which part to play.
    static ChildProcess start(const std::string& testName, const Options& options = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    // Kills and reaps a child still running.
    ~ChildProcess();

    // One byte to the child; false when it has gone.
    [[nodiscard]] bool send(char message = '.');
    // The next byte from the child; none after `timeout` or once it has closed its end.
    [[nodiscard]] std::optional<char> receive(std::chrono::milliseconds timeout);
    // Closes this end of the pipe to the child, then waits for its exit code; -1 when it
    // crashed or outlived `timeout` (then it is killed).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Ends the child at once with SIGKILL (no clean-up of its own runs) and reaps it.
    void kill();

    // In the child: the role the parent gave, or none outside a child run.
    static std::optional<std::string> role();
    // In the child: one byte to the parent.
    [[nodiscard]] static bool tell(char message = '.');
    // In the child: the next byte from the parent; none after `timeout` or when it has gone.
    [[nodiscard]] static std::optional<char> hear(std::chrono::milliseconds timeout);

private:
    ChildProcess(pid_t pid, int toChild, int fromChild) : pid_(pid), toChild_(toChild), fromChild_(fromChild) {}

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

}  // namespace TestSupport

#pragma once

#include <exception>
#include <string>

#include "Platform/core/Error.h"

namespace QuilloCli {

// Exit statuses, one per class of failure, so scripts can tell a retry from a sign-in.
enum class ExitCode : int {
    success = 0,
    other = 1,
    usage = 2,
    authentication = 3,
    serverRefusal = 4,
    network = 5,
    storage = 6,
    localFile = 7,
    // Ctrl-C or SIGTERM stopped the command, as shells report a death by SIGINT.
    interrupted = 130,
};

// A failure of the program itself, with the exit code it stands for.
class CliError : public Platform::ErrorType<CliError> {
public:
    CliError(ExitCode code, std::string message) : code_(code), message_(std::move(message)) {}
    static CliError usage(std::string message) { return {ExitCode::usage, std::move(message)}; }
    static CliError notSignedIn() { return {ExitCode::authentication, "not signed in; run `quillo login USER` first"}; }

    ExitCode code() const noexcept { return code_; }
    std::optional<std::string> errorDescription() const override { return message_; }

private:
    ExitCode code_;
    std::string message_;
};

// The exit code for an error that ended a command.
[[nodiscard]] ExitCode exitCodeFor(const std::exception& error) noexcept;
// The text shown for it: the error's description, and its failure reason when it has one.
[[nodiscard]] std::string messageFor(const std::exception& error);

}  // namespace QuilloCli

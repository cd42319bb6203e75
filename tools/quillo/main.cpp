// quillo: the command-line client. See tools/quillo/README.md for commands and exit codes.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"

int main(int argc, char** argv) {
    using namespace QuilloCli;
    CLI::App app("Quillo command-line client", "quillo");
    app.require_subcommand(1);
    // Global options are taken before or after the command's name.
    app.fallthrough();
    GlobalOptions options;
    app.add_option("--env", options.environment, "Environment: local, staging, production or tfc (remembered after login)")
        ->check(CLI::IsMember({"local", "staging", "production", "tfc"}));
    app.add_option("--server", options.server,
                   "Base address of the service, e.g. http://127.0.0.1:3000 (remembered after login)");
    app.add_flag("--json", options.json, "One JSON document on standard output, for scripts");

    Commands commands(app);
    addAccountCommands(commands);
    addItemCommands(commands);
    addVolumeCommands(commands);
    addChangeCommands(commands);
    addTransferCommands(commands);
    addActivityCommands(commands);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : static_cast<int>(ExitCode::usage);
    }
    const auto* run = commands.selected();
    if (run == nullptr) return static_cast<int>(ExitCode::usage);
    try {
        Context context(options);
        (*run)(context);
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillo: %s\n", messageFor(error).c_str());
        return static_cast<int>(exitCodeFor(error));
    }
}

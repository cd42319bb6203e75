#pragma once

#include <functional>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/quillo/Context.h"

namespace QuilloCli {

// The commands of the program. Each group registers its commands here from a file of
// its own; the one the command line names runs once the shared context is built.
class Commands {
public:
    using Run = std::function<void(Context&)>;

    explicit Commands(CLI::App& app) : app_(app) {}

    // The returned subcommand takes the command's own arguments and options.
    CLI::App* add(const std::string& name, const std::string& description, Run run);
    // The command the parsed line named; null when none did.
    const Run* selected() const noexcept { return selected_ ? &*selected_ : nullptr; }

private:
    CLI::App& app_;
    std::shared_ptr<Run> selected_;
};

// One function per group of commands.
void addAccountCommands(Commands& commands);  // login, logout, whoami
void addItemCommands(Commands& commands);     // ls, stat
void addVolumeCommands(Commands& commands);   // volumes
void addChangeCommands(Commands& commands);   // mkdir, rename, mv, rm, search
void addTransferCommands(Commands& commands); // download, upload
void addActivityCommands(Commands& commands); // events, export-log

}  // namespace QuilloCli

#include "tools/quillo/Commands.h"

namespace QuilloCli {

CLI::App* Commands::add(const std::string& name, const std::string& description, Run run) {
    auto* command = app_.add_subcommand(name, description);
    auto chosen = std::make_shared<Run>(std::move(run));
    command->callback([this, chosen] { selected_ = chosen; });
    return command;
}

}  // namespace QuilloCli

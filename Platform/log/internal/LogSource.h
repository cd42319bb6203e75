#pragma once

// Internal to Platform/log: who wrote an entry, shared by every entry of that writer.

#include <memory>
#include <string>
#include <string_view>

namespace Platform::detail {

// Every entry of a logger names the same process, subsystem and category: the store
// keeps one shared copy of the three instead of three strings per entry.
struct LogSource {
    std::string process;
    std::string subsystem;
    std::string category;
};

// The shared record for these names; the same record for the same names while few
// distinct ones have been seen (past that, a record of its own, so the table stays bounded).
[[nodiscard]] std::shared_ptr<const LogSource> logSource(std::string_view process, std::string_view subsystem,
                                                         std::string_view category);

// This process's name as entries give it.
const std::string& logProcessName();

}  // namespace Platform::detail

#include "Platform/log/internal/LogSource.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <tuple>

namespace Platform::detail {

namespace {

// Loggers are made per component, not per message: a few dozen names in practice.
constexpr std::size_t maximumSharedSources = 256;

std::string readProcessName() {
    std::string name;
    if (std::FILE* file = std::fopen("/proc/self/comm", "re")) {
        char buffer[64] = {};
        if (std::fgets(buffer, sizeof buffer, file) != nullptr) {
            name = buffer;
            if (!name.empty() && name.back() == '\n') name.pop_back();
        }
        std::fclose(file);
    }
    if (name.empty() && program_invocation_short_name != nullptr) name = program_invocation_short_name;
    return name;
}

}  // namespace

const std::string& logProcessName() {
    static const std::string name = readProcessName();
    return name;
}

std::shared_ptr<const LogSource> logSource(std::string_view process, std::string_view subsystem,
                                           std::string_view category) {
    using Key = std::tuple<std::string_view, std::string_view, std::string_view>;
    // Never destroyed: loggers in static objects may log while the process exits.
    static auto* const mutex = new std::mutex;
    static auto* const table = new std::map<Key, std::shared_ptr<const LogSource>>;
    const std::lock_guard lock(*mutex);
    if (const auto found = table->find(Key{process, subsystem, category}); found != table->end()) {
        return found->second;
    }
    auto source = std::make_shared<const LogSource>(
        LogSource{std::string(process), std::string(subsystem), std::string(category)});
    if (table->size() < maximumSharedSources) {
        // The key views the record's own strings, which never move.
        table->emplace(Key{source->process, source->subsystem, source->category}, source);
    }
    return source;
}

}  // namespace Platform::detail

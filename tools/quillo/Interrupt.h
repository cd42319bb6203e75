#pragma once

#include <chrono>

namespace QuilloCli {

// Ctrl-C (SIGINT) and SIGTERM as something a command can wait on: once watching, the
// signals no longer end the process; the command sees them and stops its work itself.
class Interrupt {
public:
    // Installs the handlers (once per process).
    static void watch();
    // True once a signal arrived; waits up to `timeout` for one.
    [[nodiscard]] static bool waitFor(std::chrono::milliseconds timeout);
    [[nodiscard]] static bool raised() noexcept;
};

}  // namespace QuilloCli

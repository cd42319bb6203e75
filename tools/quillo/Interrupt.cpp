#include "tools/quillo/Interrupt.h"

#include <atomic>
#include <csignal>

#include <signal.h>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace QuilloCli {

namespace {

// Self-pipe: the handler may only write; the waiter polls the read end.
int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) {
    interrupted = 1;
    if (pipeEnds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
    }
}

}  // namespace

void Interrupt::watch() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) pipeEnds[0] = pipeEnds[1] = -1;
        struct sigaction action{};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    });
}

bool Interrupt::waitFor(std::chrono::milliseconds timeout) {
    if (interrupted) return true;
    if (pipeEnds[0] < 0) return false;
    pollfd ready{.fd = pipeEnds[0], .events = POLLIN, .revents = 0};
    ::poll(&ready, 1, static_cast<int>(timeout.count()));
    return interrupted != 0;
}

bool Interrupt::raised() noexcept { return interrupted != 0; }

}  // namespace QuilloCli

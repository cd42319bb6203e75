#pragma once

#include <chrono>
#include <functional>

namespace Platform {

// How a store on a file that several processes share (user defaults, the keychain)
// waits while another process holds the file.
struct StoreOptions {
    static constexpr std::chrono::milliseconds defaultBusyTimeout{5000};

    // The longest an open, or one read or write, waits for another process's lock before it
    // fails with the reason. An open counts as one wait, whatever it has to do.
    std::chrono::milliseconds busyTimeout = defaultBusyTimeout;
    // Called on the waiting thread each time an open or an operation starts waiting for
    // another process. It must not call back into the store.
    std::function<void()> onWait;
};

}  // namespace Platform

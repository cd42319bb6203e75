#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace TestSupport {

// The built quillo-devserver as a child process on a free loopback port. The constructor
// returns once the server has printed its address; the destructor stops it with SIGTERM.
// The server also stops by itself after --exit-after, so a crashed test leaves nothing behind.
class DevServerProcess {
public:
    // `requestLog`: a descriptor that receives the server's one line per request (its
    // standard error); by default the lines are dropped.
    explicit DevServerProcess(const std::vector<std::string>& arguments = {}, int requestLog = -1);
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;
    ~DevServerProcess();

    // "http://127.0.0.1:<port>", empty when the server did not come up.
    const std::string& url() const noexcept { return url_; }
    // Stops the server and returns its exit code (-1 when it died of a signal).
    int stop();

    static bool available();

private:
    pid_t pid_ = -1;
    std::string url_;
};

}  // namespace TestSupport

#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace BenchSupport {

// What the generated nginx.conf holds besides the fixed parts (one worker, no daemon,
// temporary paths in the directory, a server on 127.0.0.1:<port> rooted there).
struct NginxSettings {
    int workerConnections = 64;
    std::string http;        // directives of the http block, each ending in ';'
    std::string locations;   // location blocks of the server
    std::string probePath;   // answers once nginx serves
};

// nginx on loopback as a child process of ours, serving a temporary directory.
//
//   BenchSupport::LoopbackNginx nginx("download");
//   std::ofstream(nginx.directory() / "blob.bin") << ...;
//   if (!nginx.start({.http = "access_log off;", .locations = "location / {}", .probePath = "/"})) ...
//   fetch(nginx.base() + "/blob.bin");
class LoopbackNginx {
public:
    // Makes the directory (/tmp/quillo-bench-<name>-XXXXXX) and picks the port, so the
    // files it serves can name them before it starts.
    explicit LoopbackNginx(const std::string& name);
    ~LoopbackNginx();
    LoopbackNginx(const LoopbackNginx&) = delete;
    LoopbackNginx& operator=(const LoopbackNginx&) = delete;

    // Writes the configuration, starts nginx and waits (5 s at most) until it answers.
    [[nodiscard]] bool start(const NginxSettings& settings);

    const std::filesystem::path& directory() const { return directory_; }
    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    std::filesystem::path directory_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace BenchSupport

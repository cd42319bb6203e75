// quillo-devserver: a local stand-in of the service's REST interface and object storage.
//
//   quillo-devserver --port 0 --exit-after 600 --state /tmp/dev.sqlite
//   -> prints "listening on http://127.0.0.1:<port>" and serves until SIGINT/SIGTERM.
#include <CLI/CLI.hpp>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <future>
#include <iostream>
#include <thread>

#include "DevServer.h"

namespace {

nlohmann::json faultOption(const std::string& text) {
    // FAMILY=KIND:RATE, e.g. items=5xx:0.25
    const auto equals = text.find('=');
    const auto colon = text.find(':', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || colon == std::string::npos)
        throw std::invalid_argument("--fail takes FAMILY=KIND:RATE, e.g. items=5xx:0.25");
    return {{text.substr(0, equals), {{"kind", text.substr(equals + 1, colon - equals - 1)}, {"rate", std::stod(text.substr(colon + 1))}}}};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quillo-devserver: the service's REST interface and object storage on loopback"};
    int port = 3000;
    double exitAfter = 0;
    std::string statePath;
    // A worker stays with a kept-alive connection until it idles out (5 s), and one
    // WebConnection keeps up to 3 sessions x 6 connections open; with fewer workers a new
    // connection waits for an idle one to time out.
    int threads = 32;
    int latency = 0;
    int tokenLifetime = 7200;
    int partMegabytes = 64;
    std::vector<std::string> failures;
    app.add_option("--port", port, "port on 127.0.0.1; 0 picks a free one")->check(CLI::Range(0, 65535));
    app.add_option("--exit-after", exitAfter, "stop after this many seconds (0: run until a signal)")->check(CLI::Range(0.0, 86400.0));
    app.add_option("--state", statePath, "keep the state in this SQLite file across restarts");
    app.add_option("--threads", threads, "worker threads")->check(CLI::Range(1, 64));
    app.add_option("--latency-ms", latency, "added latency per request")->check(CLI::Range(0, 60000));
    app.add_option("--token-lifetime", tokenLifetime, "seconds an access token lives")->check(CLI::Range(0, 30 * 86400));
    app.add_option("--max-part-mb", partMegabytes, "largest part the storage takes")->check(CLI::Range(1, 1024));
    app.add_option("--fail", failures, "FAMILY=KIND:RATE (families: oauth users volumes items search download upload storage events; kinds: 5xx 429 close)");
    CLI11_PARSE(app, argc, argv);

    DevServer::DevFaults faults;
    try {
        nlohmann::json settings{{"latency_ms", latency}, {"token_lifetime", tokenLifetime}, {"families", nlohmann::json::object()}};
        for (const auto& failure : failures) settings["families"].update(faultOption(failure));
        faults.apply(settings);
    } catch (const std::exception& error) {
        std::cerr << "quillo-devserver: " << error.what() << "\n";
        return 2;
    }

    DevServer::DevState state;
    std::optional<DevServer::StateFile> stateFile;
    try {
        const auto now = static_cast<double>(std::time(nullptr));
        if (!statePath.empty()) stateFile.emplace(statePath);
        if (!stateFile || !stateFile->load(state)) {
            state.seed(now);
            if (stateFile) stateFile->save(state);
        }
    } catch (const std::exception& error) {
        std::cerr << "quillo-devserver: cannot use the state file " << statePath << ": " << error.what() << "\n";
        return 2;
    }

    // Signals are taken by sigtimedwait below, never by a handler on a worker thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    httplib::Server server;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    DevServer::ServiceLimits limits;
    limits.partBytes = static_cast<std::size_t>(partMegabytes) << 20;
    server.set_payload_max_length(limits.partBytes + 1);
    // Headers and body go out in two writes; without this the body waits for a delayed ACK.
    server.set_tcp_nodelay(true);
    server.set_read_timeout(30, 0);
    server.set_write_timeout(30, 0);
    DevServer::Service service(state, faults, stateFile ? &*stateFile : nullptr, limits);
    service.install(server);

    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        std::cerr << "quillo-devserver: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    service.setBaseURL("http://127.0.0.1:" + std::to_string(bound));
    std::printf("listening on http://127.0.0.1:%d\n", bound);
    std::fflush(stdout);

    std::promise<void> stopped;
    auto finished = stopped.get_future();
    std::thread listener([&server, &stopped] {
        server.listen_after_bind();
        stopped.set_value();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(exitAfter);
    for (;;) {
        timespec wait{.tv_sec = 1, .tv_nsec = 0};
        if (sigtimedwait(&signals, nullptr, &wait) > 0) break;
        if (exitAfter > 0 && std::chrono::steady_clock::now() >= deadline) break;
    }
    // stop() does nothing until the listener has started; a signal may come before that.
    do {
        server.stop();
    } while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready);
    listener.join();
    return 0;
}

// Peak memory of one API call against answers built to exhaust it: a gzip bomb and very
// long bodies, through a WebConnection (the API session and its body maximum).
//
//   build/default/bench/bench_hostile
//
// Each scenario runs in two fresh processes: the server (so the answer it holds does not
// count) and the client, whose peak resident size is read with getrusage before and
// after the call.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>

#include "Common/connection/WebConnection.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/http/URLError.h"
#include "bench/support/Measurement.h"
#include "tests/support/Gzip.h"
#include "tests/support/ScriptedServer.h"

namespace {

using TestSupport::Script;
using Step = TestSupport::ScriptStep;
constexpr std::size_t MiB = 1 << 20;

struct Raw : Common::APIEndpoint<Raw, Common::WebService::BinaryReturnType> {
    static constexpr Common::APIMethod staticMethod = Common::APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/answer";
    Raw() : APIEndpoint(false, false) {}
};
struct Warm : Common::APIEndpoint<Warm, Common::WebService::BinaryReturnType> {
    static constexpr Common::APIMethod staticMethod = Common::APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/warm";
    Warm() : APIEndpoint(false, false) {}
};

struct Scenario {
    const char* name;
    std::function<Script()> answer;  // made in the server process
};

std::string head(std::string_view fields) { return "HTTP/1.1 200 OK\r\n" + std::string(fields) + "\r\n"; }

// `total` bytes of 'x' in 1 MiB sends.
Script body(Script script, std::size_t total) {
    const std::string piece(MiB, 'x');
    for (std::size_t sent = 0; sent < total; sent += MiB) script.push_back(Step::send(piece.substr(0, std::min(MiB, total - sent))));
    return script;
}

using BenchSupport::peakKiB;

// The server process: serves until its parent closes `control`.
[[noreturn]] void serve(const Scenario& scenario, int control, int portOut) {
    const Script answer = scenario.answer();
    TestSupport::ScriptedServer server(
        [&](const TestSupport::RawRequest& request) {
            if (request.target() == "/warm") return Script{Step::send(head("Content-Length: 2\r\n") + "ok")};
            return answer;
        },
        std::chrono::seconds(600));
    const int port = server.port();
    (void)!write(portOut, &port, sizeof port);
    char byte;
    (void)!read(control, &byte, 1);
    _exit(0);
}

[[noreturn]] void call(int port) {
    Common::WebConnection connection(*Platform::URL::parse("http://127.0.0.1:" + std::to_string(port)), 60);
    (void)connection.makeAPICall(Warm(), std::nullopt, false).get();
    const long before = peakKiB();
    const auto started = std::chrono::steady_clock::now();
    std::promise<std::string> done;
    connection.makeAPICallWithReturn(Raw(), std::nullopt, false, [&](auto result) {
        if (result) return done.set_value(std::to_string(result.value().data.size()) + " bytes");
        const auto* error = result.template error<Platform::URLError>();
        done.set_value(error ? Platform::URLError::name(error->code()) : result.error()->what());
    });
    const std::string outcome = done.get_future().get();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("| %-24s | %6.1f | %6.1f | %6.2f |\n", outcome.c_str(), before / 1024.0,
                (peakKiB() - before) / 1024.0, elapsed.count());
    std::fflush(stdout);
    _exit(0);
}

}  // namespace

int main() {
    const Scenario scenarios[] = {
        {"gzip bomb: 1 GiB of zeros as 1 MB gzip",
         [] {
             const auto bomb = TestSupport::gzippedZeros(1024 * MiB);
             return Script{Step::send(head("Content-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) + "\r\n") + bomb)};
         }},
        {"200 MB body with Content-Length", [] { return body({Step::send(head("Content-Length: 209715200\r\n"))}, 200 * MiB); }},
        {"200 MB body until close", [] { return body({Step::send(head("Connection: close\r\n"))}, 200 * MiB); }},
        {"60 MB body (under the maximum)", [] { return body({Step::send(head("Content-Length: 62914560\r\n"))}, 60 * MiB); }},
    };
    std::printf("| Answer | Outcome | Baseline MB | Peak above baseline MB | Seconds |\n|---|---|---|---|---|\n");
    using FileDescriptor = Platform::FileDescriptor;
    for (const auto& scenario : scenarios) {
        int ends[2];
        if (pipe(ends) != 0) return 1;
        FileDescriptor controlReader(ends[0]), control(ends[1]);  // the server lives while `control` is open
        if (pipe(ends) != 0) return 1;
        FileDescriptor portReader(ends[0]), portWriter(ends[1]);
        const pid_t server = fork();
        if (server == 0) {
            control.reset();
            serve(scenario, controlReader.get(), portWriter.get());
        }
        controlReader.reset();
        int serverPort = 0;
        if (read(portReader.get(), &serverPort, sizeof serverPort) != sizeof serverPort) return 1;
        std::printf("| %-38s ", scenario.name);
        std::fflush(stdout);
        const pid_t client = fork();
        if (client == 0) call(serverPort);
        int status = 0;
        waitpid(client, &status, 0);
        control.reset();
        waitpid(server, &status, 0);
    }
    return 0;
}

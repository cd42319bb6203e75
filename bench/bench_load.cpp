// The load run at full size: calls from several threads against quillo-devserver with a
// share of them failing, as the test LoadOverDevServer runs at a fifth of the count.
// Prints the time, the failures and notifications, the calls not completed exactly once
// and the peak resident growth from the first tenth to the end.
//
//   bench_load [calls = 100000] [threads = 4] [failure rate = 0.6]

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/CredentialSource.h"
#include "tests/support/DevServerProcess.h"
#include "tests/support/LoadRun.h"

namespace {

struct Held : Common::CredentialSource {
    explicit Held(std::shared_ptr<const Common::Credential> c) : held(std::move(c)) {}
    bool isExpired() const override { return !held || held->isExpired(); }
    std::shared_ptr<const Common::Credential> credential() const override { return held; }
    std::shared_ptr<const Common::Credential> held;
};

}  // namespace

int main(int argc, char** argv) {
    const long long calls = argc > 1 ? std::atoll(argv[1]) : 100'000;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 4;
    const std::string rate = argc > 3 ? argv[3] : "0.6";
    if (calls <= 0 || calls > 10'000'000 || threads <= 0 || threads > 64) {
        std::fprintf(stderr, "usage: bench_load [calls] [threads] [failure rate]\n");
        return 2;
    }
    TestSupport::DevServerProcess server;  // stops by itself after two minutes
    if (server.url().empty()) {
        std::fprintf(stderr, "quillo-devserver did not start\n");
        return 1;
    }
    httplib::Client admin(server.url());
    const auto faults = admin.Post("/_dev/faults", R"({"seed":7,"families":{"users":{"rate":)" + rate + R"(,"kind":"5xx"}}})",
                                   "application/json");
    if (!faults || faults->status != 200) return 1;
    using Common::WebService::CredentialParameter;
    const Common::WebConnection anonymous(*Platform::URL::parse(server.url()));
    const auto credential =
        anonymous.makeAPICall(CredentialParameter(),
                              CredentialParameter::dataForCreate("bench", "bench", {"alice", "alice-pass"}, std::nullopt, std::nullopt),
                              false)
            .get();
    const Common::WebConnection connection(*Platform::URL::parse(server.url()),
                                           Common::WebConnection::Options{.credentials = std::make_shared<Held>(credential)});
    const auto result = TestSupport::runLoad(connection, {.calls = calls, .threads = threads, .windowPerThread = 16});
    std::printf("calls %lld, threads %d: %.2f s (%.0f calls/s)\n", calls, threads, result.seconds, calls / result.seconds);
    std::printf("failures %lld, notifications %lld (expected %lld), not completed once %lld\n",
                static_cast<long long>(result.failures), static_cast<long long>(result.notifications),
                static_cast<long long>(result.failures / 501), static_cast<long long>(result.notCompletedOnce));
    std::printf("peak RSS %lld KiB after the first tenth, %lld KiB at the end (+%lld KiB)\n",
                static_cast<long long>(result.peakKiBAfterFirstTenth), static_cast<long long>(result.peakKiBAtEnd),
                static_cast<long long>(result.peakKiBAtEnd - result.peakKiBAfterFirstTenth));
    const bool ok = result.notifications == result.failures / 501 && result.notCompletedOnce == 0;
    return ok ? 0 : 1;
}

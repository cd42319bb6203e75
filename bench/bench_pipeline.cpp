// Throughput of the call pipeline against a plain libcurl multi loop (the limit) and a
// Python aiohttp client (the scripting-language peer), all sending the same authorized
// GETs, 64 in flight, over the same number of connections to nginx on loopback
// (keep-alive): 6 connections (the sessions' default), then 64.
//
//   bench_pipeline [calls=20000] [rounds=5] [only=web|plain]
//
// Each variant runs in a child process of its own, so its peak memory and CPU time are
// its own. The machine is shared: the variants take turns within each round, and every
// ratio is the median over the rounds of ratios taken within one round.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/auth/OAuthManager.h"
#include "Common/connection/WebConnection.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/http/URLSessionConfiguration.h"
#include "bench/support/LoopbackNginx.h"
#include "bench/support/Measurement.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* token = "bench-access-token";
constexpr const char* path = "/folders/123/ls?offset=0&limit=100&sort=modified_at&desc=true";

constexpr int inFlight = 64;

struct Outcome {
    double seconds = 0;
    long failures = 0;
    long peakKiB = 0;
    double cpuSeconds = 0;  // user + system of the client process
};

std::string cannedListing() {
    std::string entries;
    for (int i = 0; i < 10; ++i) {
        if (i) entries += ",";
        entries += R"({"id":")" + std::to_string(1000 + i) + R"(","name":"report-)" + std::to_string(i) +
                   R"(.pdf","type":"file","size":123456,"modified_at":"2024-05-01T09:30:00.123Z","home_type":null})";
    }
    return R"({"total_count":10,"offset":0,"limit":100,"entries":[)" + entries + "]}";
}

using BenchSupport::cpuSeconds;
using BenchSupport::peakKiB;

// The limit: one multi handle, `inFlight` reused easy handles, nothing else.
Outcome plainLoop(const std::string& url, int calls, int connections) {
    const double cpuBefore = cpuSeconds();
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(connections));
    struct Slot {
        CURL* easy;
        std::string body;
        curl_slist* headers;
    };
    std::vector<Slot> slots(static_cast<std::size_t>(inFlight));
    auto write = +[](char* data, size_t size, size_t count, void* user) {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    };
    int started = 0;
    int finished = 0;
    long failures = 0;
    // Each call sets its URL and header list afresh, as any client whose calls differ must.
    auto launch = [&](Slot& slot) {
        slot.body.clear();
        curl_slist_free_all(slot.headers);
        slot.headers = curl_slist_append(nullptr, "Accept: application/json");
        slot.headers = curl_slist_append(slot.headers, "X-Tarn-Client: osx");
        slot.headers = curl_slist_append(slot.headers, (std::string("Authorization: Bearer ") + token).c_str());
        curl_easy_setopt(slot.easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(slot.easy, CURLOPT_HTTPHEADER, slot.headers);
        curl_multi_add_handle(multi, slot.easy);
        ++started;
    };
    for (auto& slot : slots) {
        slot.easy = curl_easy_init();
        slot.headers = nullptr;
        curl_easy_setopt(slot.easy, CURLOPT_WRITEFUNCTION, write);
        curl_easy_setopt(slot.easy, CURLOPT_WRITEDATA, &slot.body);
        curl_easy_setopt(slot.easy, CURLOPT_PRIVATE, &slot);
        curl_easy_setopt(slot.easy, CURLOPT_NOSIGNAL, 1L);
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto& slot : slots) {
        if (started < calls) launch(slot);
    }
    while (finished < calls) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            Slot* slot = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &slot);
            long status = 0;
            curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
            if (message->data.result != CURLE_OK || status != 200) ++failures;
            curl_multi_remove_handle(multi, message->easy_handle);
            ++finished;
            if (started < calls) launch(*slot);
        }
        if (finished < calls) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    for (auto& slot : slots) {
        curl_slist_free_all(slot.headers);
        curl_easy_cleanup(slot.easy);
    }
    curl_multi_cleanup(multi);
    return {elapsed.count(), failures, peakKiB(), cpuSeconds() - cpuBefore};
}

struct Answer {
    static Answer decode(const Platform::KeyedDecoder& c) {
        (void)c.decode<std::uint64_t>("totalCount");
        return {};
    }
};

template <class Return>
struct ListingProbe : Common::APIEndpoint<ListingProbe<Return>, Return> {
    static constexpr Common::APIMethod staticMethod = Common::APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/123/ls";
    ListingProbe()
        : Common::APIEndpoint<ListingProbe, Return>(
              true, false, {{"offset", "0"}, {"limit", "100"}, {"sort", "modified_at"}, {"desc", "true"}}) {}
};

// The same calls through the library: token, headers, logging, status, (decoding).
template <class Return>
Outcome throughWebConnection(const std::string& base, int calls, int connections) {
    const double cpuBefore = cpuSeconds();
    const fs::path root = fs::temp_directory_path() / ("quillo-bench-root-" + std::to_string(::getpid()));
    Platform::ApplicationGroupContainer::setRootDirectory(root);
    Common::OAuthManager::shared().setCredential(Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
        std::string(R"({"access_token":")") + token + R"(","token_type":"bearer","refresh_token":"r","login":"u","email":null})"));
    const Common::WebConnection connection(*Platform::URL::parse(base), {.maximumConnectionsPerHost = connections});
    const ListingProbe<Return> parameter;

    // The harness keeps out of the way: counters, and one wake-up when the last call ends
    // (a wake-up per completion would cost a thread switch per call that is not the library's).
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<long> failures{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::function<void()> launch = [&] {
        connection.makeAPICallWithReturn(parameter, std::nullopt, false, [&](auto result) {
            if (!result) ++failures;
            if (started.fetch_add(1) < calls) launch();
            if (finished.fetch_add(1) + 1 == calls) {
                std::lock_guard lock(mutex);
                done = true;
                changed.notify_one();
            }
        });
    };
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < inFlight && started.fetch_add(1) < calls; ++i) launch();
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::minutes(5), [&] { return done; });
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::error_code ec;
    fs::remove_all(root, ec);
    return {elapsed.count(), failures.load() + (calls - finished.load()), peakKiB(), cpuSeconds() - cpuBefore};
}

// The same calls from Python's aiohttp (Debian's python3-aiohttp), one connector limited
// to `connections`, `inFlight` tasks. It reports its own time, failures, peak and CPU.
constexpr const char* aiohttpClient = R"PY(
import asyncio, resource, sys, time
import aiohttp

url, calls, in_flight, connections = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
headers = {"Accept": "application/json", "X-Tarn-Client": "osx", "Authorization": "Bearer " + sys.argv[5]}

async def main():
    failures = 0
    left = calls
    connector = aiohttp.TCPConnector(limit=connections, limit_per_host=connections)
    async with aiohttp.ClientSession(connector=connector, headers=headers) as session:
        async def worker():
            nonlocal failures, left
            while left > 0:
                left -= 1
                try:
                    async with session.get(url) as response:
                        await response.read()
                        if response.status != 200:
                            failures += 1
                except aiohttp.ClientError:
                    failures += 1
        start = time.monotonic()
        await asyncio.gather(*(worker() for _ in range(in_flight)))
        return time.monotonic() - start, failures

cpu = resource.getrusage(resource.RUSAGE_SELF)
seconds, failures = asyncio.run(main())
after = resource.getrusage(resource.RUSAGE_SELF)
cpu_seconds = (after.ru_utime - cpu.ru_utime) + (after.ru_stime - cpu.ru_stime)
print(seconds, failures, after.ru_maxrss, cpu_seconds)
)PY";

std::optional<Outcome> throughAiohttp(const std::string& url, int calls, int connections) {
    const std::string command = "/usr/bin/python3 -c '" + std::string(aiohttpClient) + "' '" + url + "' " +
                                std::to_string(calls) + " " + std::to_string(inFlight) + " " +
                                std::to_string(connections) + " " + token + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    Outcome outcome{};
    const int read = std::fscanf(pipe, "%lf %ld %ld %lf", &outcome.seconds, &outcome.failures, &outcome.peakKiB,
                                 &outcome.cpuSeconds);
    if (::pclose(pipe) != 0 || read != 4) return std::nullopt;
    return outcome;
}

// A variant in a child process; one that sent nothing back counts as failed.
template <class Variant>
Outcome isolated(Variant variant) {
    return BenchSupport::isolated(variant).value_or(Outcome{.failures = 1});
}

struct Series {
    std::string name;
    std::vector<double> rates, ratios, cpuPerCall;
    long peakKiB = 0;
    long failures = 0;

    void add(const Outcome& outcome, int calls, double plainRate) {
        rates.push_back(calls / outcome.seconds);
        ratios.push_back(calls / outcome.seconds / plainRate);
        cpuPerCall.push_back(outcome.cpuSeconds / calls * 1e6);
        peakKiB = std::max(peakKiB, outcome.peakKiB);
        failures += outcome.failures;
    }
    void print() const {
        if (rates.empty()) {
            std::printf("  %-32s not run\n", name.c_str());
            return;
        }
        const auto ratio = BenchSupport::spread(ratios);
        std::printf("  %-32s %9.0f calls/s  ratio %.2f (%.2f-%.2f)  CPU %5.1f us/call  peak %6ld KiB  failures %ld\n",
                    name.c_str(), BenchSupport::median(rates), ratio.median, ratio.lowest, ratio.highest,
                    BenchSupport::median(cpuPerCall), peakKiB, failures);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string only = argc > 3 ? argv[3] : "";
    BenchSupport::LoopbackNginx nginx("pipeline");
    std::ofstream(nginx.directory() / "listing.json") << cannedListing();
    if (!nginx.start({.workerConnections = 1024,
                      .http = "access_log off; keepalive_timeout 120; keepalive_requests 1000000;",
                      .locations = "    location / { default_type application/json; try_files /listing.json =404; }",
                      .probePath = "/"})) {
        std::fprintf(stderr, "bench_pipeline: nginx did not start (is it installed?)\n");
        return 1;
    }
    const std::string base = nginx.base();
    const int defaultConnections = Platform::URLSessionConfiguration{}.maximumConnectionsPerHost;
    // For profiling one variant in this process.
    if (only == "web") {
        const auto outcome = throughWebConnection<Common::WebService::BinaryReturnType>(base, calls, defaultConnections);
        std::printf("WebConnection (bytes) %.0f calls/s\n", calls / outcome.seconds);
        return 0;
    }
    if (only == "plain") {
        const auto outcome = plainLoop(base + path, calls, defaultConnections);
        std::printf("plain libcurl multi loop %.0f calls/s\n", calls / outcome.seconds);
        return 0;
    }

    std::printf("%d authorized GETs per variant and round, %d in flight, nginx on loopback, %zu-byte answer, "
                "%d rounds; medians (ratio range)\n",
                calls, inFlight, cannedListing().size(), rounds);
    // Warm-up, so the first variant does not pay for cold caches alone.
    (void)isolated([&] { return plainLoop(base + path, 500, defaultConnections); });
    for (const int connections : {defaultConnections, 64}) {
        Series plain{"plain libcurl multi loop"}, bytes{"WebConnection (bytes)"},
            decoded{"WebConnection (decoded answer)"}, python{"Python aiohttp"};
        for (int round = 0; round < rounds; ++round) {
            const auto limit = isolated([&] { return plainLoop(base + path, calls, connections); });
            const double plainRate = calls / limit.seconds;
            plain.add(limit, calls, plainRate);
            bytes.add(isolated([&] {
                          return throughWebConnection<Common::WebService::BinaryReturnType>(base, calls, connections);
                      }),
                      calls, plainRate);
            decoded.add(isolated([&] { return throughWebConnection<Answer>(base, calls, connections); }), calls,
                        plainRate);
            if (const auto peer = throughAiohttp(base + path, calls, connections)) python.add(*peer, calls, plainRate);
        }
        std::printf("%d connections:\n", connections);
        for (const auto* series : {&plain, &bytes, &decoded, &python}) series->print();
    }
    return 0;
}

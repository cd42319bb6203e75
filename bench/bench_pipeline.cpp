// Throughput of the call pipeline against a plain libcurl multi loop, both sending the
// same authorized GETs with the same concurrency to nginx on loopback (keep-alive).
//
//   bench_pipeline [calls=10000] [inFlight=64] [only=web|plain]
//
// Each variant runs in a child process of its own, so its peak memory is its own.
#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Common/auth/OAuthManager.h"
#include "Common/connection/WebConnection.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/http/URLSessionConfiguration.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* token = "bench-access-token";
constexpr const char* path = "/folders/123/ls?offset=0&limit=100&sort=modified_at&desc=true";

struct Outcome {
    double seconds = 0;
    long failures = 0;
    long peakKiB = 0;
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

// nginx on 127.0.0.1:<port> serving the canned answer, as a child process of ours.
struct Nginx {
    fs::path directory;
    pid_t pid = -1;
    int port = 0;

    bool start() {
        char pattern[] = "/tmp/quillo-bench-XXXXXX";
        if (!::mkdtemp(pattern)) return false;
        directory = pattern;
        std::ofstream(directory / "listing.json") << cannedListing();
        port = 20000 + static_cast<int>(::getpid() % 20000);
        std::ofstream(directory / "nginx.conf")
            << "daemon off; master_process off; worker_processes 1; pid " << (directory / "nginx.pid").string()
            << "; error_log " << (directory / "error.log").string() << " error;\n"
            << "events { worker_connections 1024; }\n"
            << "http { access_log off; keepalive_timeout 120; keepalive_requests 1000000;\n"
            << "  client_body_temp_path " << directory.string() << "; proxy_temp_path " << directory.string()
            << "; fastcgi_temp_path " << directory.string() << "; uwsgi_temp_path " << directory.string()
            << "; scgi_temp_path " << directory.string() << ";\n"
            << "  server { listen 127.0.0.1:" << port << "; root " << directory.string() << ";\n"
            << "    location / { default_type application/json; try_files /listing.json =404; } } }\n";
        pid = ::fork();
        if (pid == 0) {
            const std::string conf = (directory / "nginx.conf").string();
            ::execlp("nginx", "nginx", "-p", directory.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::execl("/usr/sbin/nginx", "nginx", "-p", directory.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait (bounded) until it answers.
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            CURL* probe = curl_easy_init();
            curl_easy_setopt(probe, CURLOPT_URL, ("http://127.0.0.1:" + std::to_string(port) + "/").c_str());
            curl_easy_setopt(probe, CURLOPT_NOBODY, 1L);
            const auto code = curl_easy_perform(probe);
            curl_easy_cleanup(probe);
            if (code == CURLE_OK) return true;
        }
        return false;
    }

    ~Nginx() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        if (!directory.empty()) fs::remove_all(directory, ec);
    }
};

long peakKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The limit: one multi handle, `inFlight` reused easy handles, nothing else.
Outcome plainLoop(const std::string& url, int calls, int inFlight) {
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                      static_cast<long>(Platform::URLSessionConfiguration{}.maximumConnectionsPerHost));
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
    return {elapsed.count(), failures, peakKiB()};
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
Outcome throughWebConnection(const std::string& base, int calls, int inFlight) {
    const fs::path root = fs::temp_directory_path() / ("quillo-bench-root-" + std::to_string(::getpid()));
    Platform::ApplicationGroupContainer::setRootDirectory(root);
    Common::OAuthManager::shared().setCredential(Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
        std::string(R"({"access_token":")") + token + R"(","token_type":"bearer","refresh_token":"r","login":"u","email":null})"));
    const Common::WebConnection connection(*Platform::URL::parse(base));
    const ListingProbe<Return> parameter;

    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    std::atomic<long> failures{0};
    std::function<void()> launch = [&] {
        connection.makeAPICallWithReturn(parameter, std::nullopt, false, [&](auto result) {
            if (!result) ++failures;
            std::lock_guard lock(mutex);
            ++finished;
            if (started < calls) {
                ++started;
                launch();
            }
            changed.notify_one();
        });
    };
    const auto start = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex);
        for (int i = 0; i < inFlight && started < calls; ++i) {
            ++started;
            launch();
        }
    }
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::minutes(5), [&] { return finished >= calls; });
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::error_code ec;
    fs::remove_all(root, ec);
    return {elapsed.count(), failures.load() + (calls - finished), peakKiB()};
}

// Runs `variant` in a child process and reads its outcome back.
Outcome isolated(const std::function<Outcome()>& variant) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const Outcome outcome = variant();
        (void)!::write(fds[1], &outcome, sizeof outcome);
        ::_exit(0);
    }
    ::close(fds[1]);
    Outcome outcome{};
    if (::read(fds[0], &outcome, sizeof outcome) != static_cast<ssize_t>(sizeof outcome)) outcome.failures = -1;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return outcome;
}

void report(const char* name, const Outcome& outcome, int calls, double reference) {
    const double rate = calls / outcome.seconds;
    std::printf("%-34s %9.0f calls/s  %6.3f s  ratio %.2f  failures %ld  peak %ld KiB\n", name, rate, outcome.seconds,
                reference > 0 ? rate / reference : 1.0, outcome.failures, outcome.peakKiB);
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int inFlight = argc > 2 ? std::atoi(argv[2]) : 64;
    const std::string only = argc > 3 ? argv[3] : "";
    Nginx nginx;
    if (!nginx.start()) {
        std::fprintf(stderr, "bench_pipeline: nginx did not start (is it installed?)\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.port);
    std::printf("%d authorized GETs, %d in flight, nginx on loopback, %zu-byte answer\n", calls, inFlight,
                cannedListing().size());
    // Warm-up, so the first variant does not pay for cold caches alone.
    (void)isolated([&] { return plainLoop(base + path, 500, inFlight); });
    if (only == "web") {
        report("WebConnection (bytes)", throughWebConnection<Common::WebService::BinaryReturnType>(base, calls, inFlight),
               calls, 0);
        return 0;
    }
    if (only == "plain") {
        report("plain libcurl multi loop", plainLoop(base + path, calls, inFlight), calls, 0);
        return 0;
    }

    const auto plain = isolated([&] { return plainLoop(base + path, calls, inFlight); });
    const double plainRate = calls / plain.seconds;
    report("plain libcurl multi loop", plain, calls, 0);
    report("WebConnection (bytes)", isolated([&] {
               return throughWebConnection<Common::WebService::BinaryReturnType>(base, calls, inFlight);
           }),
           calls, plainRate);
    report("WebConnection (decoded answer)",
           isolated([&] { return throughWebConnection<Answer>(base, calls, inFlight); }), calls, plainRate);
    return 0;
}

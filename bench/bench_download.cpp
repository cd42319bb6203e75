// A large file through the Downloader (ticket call, then the body streamed to a
// temporary file and renamed into place) against one plain libcurl GET of the same
// bytes written to a file with stdio, both from nginx on loopback.
//
//   bench_download [mebibytes=256] [rounds=3]
//
// Each variant runs in a child process of its own, so its peak memory is its own. The
// machine is shared: the variants take turns within each round, and the ratio is the
// median over the rounds of ratios taken within one round.
#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Common/auth/CredentialSource.h"
#include "Common/connection/WebConnection.h"
#include "Common/service/Downloader.h"
#include "Platform/json/JSONDecoder.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    double seconds = 0;
    long failures = 0;
    long peakKiB = 0;
    std::uint64_t bytes = 0;
};

struct BenchCredentials : Common::CredentialSource {
    std::shared_ptr<const Common::Credential> credential_ =
        Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
            R"({"access_token":"bench","token_type":"bearer","refresh_token":"r","login":"u","email":null})");
    bool isExpired() const override { return false; }
    std::shared_ptr<const Common::Credential> credential() const override { return credential_; }
};

// nginx on 127.0.0.1:<port> serving the ticket and the file, as a child process of ours.
struct Nginx {
    fs::path directory;
    pid_t pid = -1;
    int port = 0;

    bool start(std::uint64_t size) {
        char pattern[] = "/tmp/quillo-bench-download-XXXXXX";
        if (!::mkdtemp(pattern)) return false;
        directory = pattern;
        port = 20000 + static_cast<int>((::getpid() + 7) % 20000);
        {
            std::ofstream blob(directory / "blob.bin", std::ios::binary);
            std::string chunk(1 << 20, '\0');
            for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 2654435761u >> 13);
            for (std::uint64_t written = 0; written < size; written += chunk.size()) {
                blob.write(chunk.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size(), size - written)));
            }
        }
        std::ofstream(directory / "token.json")
            << R"({"url":"http://127.0.0.1:)" << port << R"(/blob.bin?token=secret","token":"t","fid":"f"})";
        std::ofstream(directory / "nginx.conf")
            << "daemon off; master_process off; worker_processes 1; pid " << (directory / "nginx.pid").string()
            << "; error_log " << (directory / "error.log").string() << " error;\n"
            << "events { worker_connections 64; }\n"
            << "http { access_log off; sendfile on; keepalive_timeout 120;\n"
            << "  client_body_temp_path " << directory.string() << "; proxy_temp_path " << directory.string()
            << "; fastcgi_temp_path " << directory.string() << "; uwsgi_temp_path " << directory.string()
            << "; scgi_temp_path " << directory.string() << ";\n"
            << "  server { listen 127.0.0.1:" << port << "; root " << directory.string() << ";\n"
            << "    location /files/ { default_type application/json; try_files /token.json =404; }\n"
            << "    location /blob.bin { default_type application/octet-stream; } } }\n";
        pid = ::fork();
        if (pid == 0) {
            const std::string conf = (directory / "nginx.conf").string();
            ::execlp("nginx", "nginx", "-p", directory.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::execl("/usr/sbin/nginx", "nginx", "-p", directory.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            CURL* probe = curl_easy_init();
            curl_easy_setopt(probe, CURLOPT_URL, ("http://127.0.0.1:" + std::to_string(port) + "/files/1/token").c_str());
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

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The limit: one GET, the body handed to fwrite.
Outcome plainGet(const std::string& url, const fs::path& target) {
    const auto start = std::chrono::steady_clock::now();
    std::FILE* file = std::fopen(target.c_str(), "wb");
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t count, void* out) {
        return std::fwrite(data, size, count, static_cast<std::FILE*>(out));
    });
    const auto code = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    std::fclose(file);
    Outcome outcome{since(start), code == CURLE_OK ? 0 : 1, peakKiB(), fs::file_size(target)};
    fs::remove(target);
    return outcome;
}

Outcome throughDownloader(const std::string& base, const fs::path& target) {
    const Common::WebConnection connection(*Platform::URL::parse(base),
                                           Common::WebConnection::Options{.credentials = std::make_shared<BenchCredentials>()});
    const Common::Downloader downloader(connection);
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    try {
        outcome.bytes = downloader.download("1", target.string()).get().length;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Downloader: %s\n", error.what());
        outcome.failures = 1;
    }
    outcome.seconds = since(start);
    outcome.peakKiB = peakKiB();
    fs::remove(target);
    return outcome;
}

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

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::uint64_t size = mebibytes << 20;
    Nginx nginx;
    if (!nginx.start(size)) {
        std::fprintf(stderr, "bench_download: nginx did not start (is it installed?)\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.port);
    const fs::path target = nginx.directory / "downloaded.bin";
    std::vector<double> plainRates, downloaderRates, ratios;
    long plainPeak = 0, downloaderPeak = 0, failures = 0;
    (void)isolated([&] { return plainGet(base + "/blob.bin", target); });  // warm the page cache
    for (int round = 0; round < rounds; ++round) {
        const auto plain = isolated([&] { return plainGet(base + "/blob.bin?token=secret", target); });
        const auto ours = isolated([&] { return throughDownloader(base, target); });
        failures += plain.failures + ours.failures + (plain.bytes != size) + (ours.bytes != size);
        const double plainRate = static_cast<double>(size) / (1 << 20) / plain.seconds;
        const double ourRate = static_cast<double>(size) / (1 << 20) / ours.seconds;
        plainRates.push_back(plainRate);
        downloaderRates.push_back(ourRate);
        ratios.push_back(ourRate / plainRate);
        plainPeak = std::max(plainPeak, plain.peakKiB);
        downloaderPeak = std::max(downloaderPeak, ours.peakKiB);
    }
    std::printf("%llu MiB from nginx on loopback, %d rounds; medians (ratio range)\n",
                static_cast<unsigned long long>(mebibytes), rounds);
    std::printf("  %-30s %8.0f MiB/s  peak %7ld KiB\n", "plain libcurl GET to a file", median(plainRates), plainPeak);
    std::printf("  %-30s %8.0f MiB/s  peak %7ld KiB  ratio %.2f (%.2f-%.2f)\n", "Downloader", median(downloaderRates),
                downloaderPeak, median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("  failures %ld\n", failures);
    return failures == 0 ? 0 : 1;
}

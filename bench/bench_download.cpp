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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Common/connection/WebConnection.h"
#include "Common/service/Downloader.h"
#include "Platform/core/UniqueHandle.h"
#include "bench/support/LoopbackNginx.h"
#include "bench/support/Measurement.h"
#include "tests/support/Credentials.h"

namespace fs = std::filesystem;

namespace {

using BenchSupport::peakKiB;
using BenchSupport::secondsSince;

struct Outcome {
    double seconds = 0;
    long failures = 0;
    long peakKiB = 0;
    std::uint64_t bytes = 0;
};

// nginx serving the ticket and `size` bytes of a pattern.
bool startNginx(BenchSupport::LoopbackNginx& nginx, std::uint64_t size) {
    {
        std::ofstream blob(nginx.directory() / "blob.bin", std::ios::binary);
        std::string chunk(1 << 20, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 2654435761u >> 13);
        for (std::uint64_t written = 0; written < size; written += chunk.size()) {
            blob.write(chunk.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size(), size - written)));
        }
    }
    std::ofstream(nginx.directory() / "token.json")
        << R"({"url":")" << nginx.base() << R"(/blob.bin?token=secret","token":"t","fid":"f"})";
    return nginx.start({.workerConnections = 64,
                        .http = "access_log off; sendfile on; keepalive_timeout 120;",
                        .locations = "    location /files/ { default_type application/json; try_files /token.json =404; }\n"
                                     "    location /blob.bin { default_type application/octet-stream; }",
                        .probePath = "/files/1/token"});
}

// The limit: one GET, the body handed to fwrite.
Outcome plainGet(const std::string& url, const fs::path& target) {
    const auto start = std::chrono::steady_clock::now();
    std::FILE* file = std::fopen(target.c_str(), "wb");
    CURLcode code = CURLE_FAILED_INIT;
    {
        const Platform::UniqueHandle<CURL*, &curl_easy_cleanup> easy(curl_easy_init());
        curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, file);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t count, void* out) {
            return std::fwrite(data, size, count, static_cast<std::FILE*>(out));
        });
        code = curl_easy_perform(easy.get());
    }
    std::fclose(file);
    Outcome outcome{secondsSince(start), code == CURLE_OK ? 0 : 1, peakKiB(), fs::file_size(target)};
    fs::remove(target);
    return outcome;
}

Outcome throughDownloader(const std::string& base, const fs::path& target) {
    const Common::WebConnection connection(
        *Platform::URL::parse(base), {.credentials = TestSupport::FixedCredentialSource::withToken("bench")});
    const Common::Downloader downloader(connection);
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    try {
        outcome.bytes = downloader.download("1", target.string()).get().length;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Downloader: %s\n", error.what());
        outcome.failures = 1;
    }
    outcome.seconds = secondsSince(start);
    outcome.peakKiB = peakKiB();
    fs::remove(target);
    return outcome;
}

// A variant in a child process; one that sent nothing back counts as failed.
template <class Variant>
Outcome isolated(Variant variant) {
    return BenchSupport::isolated(variant).value_or(Outcome{.failures = 1});
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::uint64_t size = mebibytes << 20;
    BenchSupport::LoopbackNginx nginx("download");
    if (!startNginx(nginx, size)) {
        std::fprintf(stderr, "bench_download: nginx did not start (is it installed?)\n");
        return 1;
    }
    const std::string base = nginx.base();
    const fs::path target = nginx.directory() / "downloaded.bin";
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
    const auto ratio = BenchSupport::spread(ratios);
    std::printf("  %-30s %8.0f MiB/s  peak %7ld KiB\n", "plain libcurl GET to a file",
                BenchSupport::median(plainRates), plainPeak);
    std::printf("  %-30s %8.0f MiB/s  peak %7ld KiB  ratio %.2f (%.2f-%.2f)\n", "Downloader",
                BenchSupport::median(downloaderRates), downloaderPeak, ratio.median, ratio.lowest, ratio.highest);
    std::printf("  failures %ld\n", failures);
    return failures == 0 ? 0 : 1;
}

// A large file through Uploader (presign, parts in parallel, MD5, complete) against one
// plain libcurl PUT of the same bytes, both to the same storage stand-in on loopback.
// The storage runs in a process of its own and each variant in another, so peak
// resident sizes are the variant's own.
//
//   bench_upload [MiB = 256] [rounds = 3]

#include <curl/curl.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Common/service/Uploader.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/core/UniqueHandle.h"
#include "bench/support/Measurement.h"
#include "tests/support/Credentials.h"

namespace {

struct Outcome {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    long baselineKiB = 0;
    bool ok = false;
};

using BenchSupport::cpuSeconds;
using BenchSupport::peakKiB;
using BenchSupport::secondsSince;

// The storage and the service's multipart endpoints: part bodies are streamed through
// MD5 and dropped, as a storage node would checksum them on the way to disk.
[[noreturn]] void serve(int portPipe) {
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    std::atomic<int> part{0};
    auto store = [](const httplib::Request&, httplib::Response& response, const httplib::ContentReader& reader) {
        using Context = Platform::UniqueHandle<EVP_MD_CTX*, &EVP_MD_CTX_free>;
        Context context(EVP_MD_CTX_new());
        EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
        reader([&](const char* data, std::size_t length) {
            EVP_DigestUpdate(context.get(), data, length);
            return true;
        });
        unsigned char sum[16];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context.get(), sum, &length);
        std::string tag = "\"";
        for (const auto byte : sum) tag += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 0xf]};
        response.set_header("ETag", tag + "\"");
    };
    server.Put(R"(/storage/\d+)", store);
    server.Put("/plain", store);
    server.Post("/files/s3/multipartupload", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"s3key":"bench/key"})", "application/json");
    });
    int port = 0;
    server.Get("/files/s3/multipartupload/url", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"url":"http://127.0.0.1:)" + std::to_string(port) + "/storage/" +
                                 std::to_string(part++) + R"(?X-Signature=s"})",
                             "application/json");
    });
    server.Put("/files/s3/multipartupload", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"type":"file","id":"1","name":"big.bin","modified_at":"2024-05-01T09:30:00Z"})",
                             "application/json");
    });
    server.Delete("/files/s3/multipartupload", [](const httplib::Request&, httplib::Response& response) {
        response.status = 204;
    });
    port = server.bind_to_any_port("127.0.0.1");
    (void)!::write(portPipe, &port, sizeof port);
    ::close(portPipe);
    server.listen_after_bind();
    ::_exit(0);
}

Outcome throughUploader(const std::string& base, const std::filesystem::path& file, const std::filesystem::path& root) {
    Platform::ApplicationGroupContainer::setRootDirectory(root);
    Outcome outcome{.baselineKiB = peakKiB()};
    const Common::WebConnection connection(
        *Platform::URL::parse(base), {.credentials = TestSupport::FixedCredentialSource::withToken("t")});
    const Common::Uploader uploader(connection);
    const auto start = std::chrono::steady_clock::now();
    try {
        (void)uploader.upload(file, Common::UploadDestination::newFile("01", "big.bin")).get();
        outcome.ok = true;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "uploader: %s\n", error.what());
    }
    outcome.seconds = secondsSince(start);
    outcome.peakKiB = peakKiB();
    outcome.cpuSeconds = cpuSeconds();
    return outcome;
}

std::size_t readFile(char* buffer, std::size_t size, std::size_t count, void* stream) {
    return std::fread(buffer, size, count, static_cast<std::FILE*>(stream));
}
std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

Outcome plainPut(const std::string& base, const std::filesystem::path& file) {
    Outcome outcome{.baselineKiB = peakKiB()};
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::FILE* input = std::fopen(file.c_str(), "rb");
    if (input == nullptr) return outcome;
    using Easy = Platform::UniqueHandle<CURL*, &curl_easy_cleanup>;
    Easy easy(curl_easy_init());
    const auto url = base + "/plain";
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_READFUNCTION, readFile);
    curl_easy_setopt(easy.get(), CURLOPT_READDATA, input);
    curl_easy_setopt(easy.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(std::filesystem::file_size(file)));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, discard);
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers);
    const auto start = std::chrono::steady_clock::now();
    long status = 0;
    outcome.ok = curl_easy_perform(easy.get()) == CURLE_OK &&
                 curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    outcome.seconds = secondsSince(start);
    curl_slist_free_all(headers);
    std::fclose(input);
    outcome.peakKiB = peakKiB();
    outcome.cpuSeconds = cpuSeconds();
    return outcome;
}

// A variant in a child process; one that sent nothing back has failed.
template <class Variant>
Outcome isolated(Variant variant) {
    return BenchSupport::isolated(variant).value_or(Outcome{});
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const auto scratch = std::filesystem::temp_directory_path() / ("bench-upload-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    const auto file = scratch / "big.bin";
    {
        std::ofstream out(file, std::ios::binary);
        std::mt19937_64 generator(7);
        std::vector<std::uint64_t> block(1 << 17);
        for (std::uint64_t written = 0; written < (mebibytes << 20); written += block.size() * 8) {
            for (auto& word : block) word = generator();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
        }
    }
    int fds[2];
    if (::pipe(fds) != 0) return 1;
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(fds[0]);
        serve(fds[1]);
    }
    ::close(fds[1]);
    int port = 0;
    if (::read(fds[0], &port, sizeof port) != sizeof port || port <= 0) return 1;
    ::close(fds[0]);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    const Common::Uploader::Options defaults;
    std::printf("%llu MiB file, %llu MiB parts, %d in flight, storage stand-in on loopback (MD5 per body), %d rounds\n",
                static_cast<unsigned long long>(mebibytes), static_cast<unsigned long long>(defaults.partSize >> 20),
                defaults.concurrentParts, rounds);
    std::vector<double> plainRates, uploaderRates, ratios, plainCPU, uploaderCPU;
    long plainPeak = 0, uploaderPeak = 0, plainBase = 0, uploaderBase = 0;
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        const auto plain = isolated([&] { return plainPut(base, file); });
        const auto multi = isolated([&] { return throughUploader(base, file, scratch / "root"); });
        ok = ok && plain.ok && multi.ok;
        const double size = static_cast<double>(mebibytes);
        plainRates.push_back(size / plain.seconds);
        uploaderRates.push_back(size / multi.seconds);
        ratios.push_back(plain.seconds / multi.seconds);
        plainCPU.push_back(plain.cpuSeconds * 1000 / size);
        uploaderCPU.push_back(multi.cpuSeconds * 1000 / size);
        plainPeak = std::max(plainPeak, plain.peakKiB);
        uploaderPeak = std::max(uploaderPeak, multi.peakKiB);
        plainBase = plain.baselineKiB;
        uploaderBase = multi.baselineKiB;
    }
    using BenchSupport::median;
    const auto ratio = BenchSupport::spread(ratios);
    std::printf("  plain libcurl PUT  %7.1f MiB/s  CPU %5.2f ms/MiB  peak %7ld KiB (%ld before)\n", median(plainRates),
                median(plainCPU), plainPeak, plainBase);
    std::printf("  Uploader           %7.1f MiB/s  CPU %5.2f ms/MiB  peak %7ld KiB (%ld before)  ratio %.2f (%.2f-%.2f)%s\n",
                median(uploaderRates), median(uploaderCPU), uploaderPeak, uploaderBase, ratio.median, ratio.lowest,
                ratio.highest, ok ? "" : "  FAILURES");
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    std::filesystem::remove_all(scratch);
    return ok ? 0 : 1;
}

#include "bench/support/LoopbackNginx.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"

namespace fs = std::filesystem;

namespace BenchSupport {

namespace {

using FileDescriptor = Platform::FileDescriptor;
using Easy = Platform::UniqueHandle<CURL*, &curl_easy_cleanup>;

// A port the kernel has just found free on loopback.
int freePort() {
    const FileDescriptor socket(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!socket || ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool answers(const std::string& url) {
    const Easy probe(curl_easy_init());
    curl_easy_setopt(probe.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(probe.get(), CURLOPT_NOBODY, 1L);
    return curl_easy_perform(probe.get()) == CURLE_OK;
}

}  // namespace

LoopbackNginx::LoopbackNginx(const std::string& name) : port_(freePort()) {
    std::string pattern = "/tmp/quillo-bench-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data())) directory_ = pattern;
}

bool LoopbackNginx::start(const NginxSettings& settings) {
    if (directory_.empty() || port_ == 0 || pid_ > 0) return false;
    const std::string root = directory_.string();
    const std::string conf = (directory_ / "nginx.conf").string();
    std::ofstream(conf) << "daemon off; master_process off; worker_processes 1; pid " << root
                        << "/nginx.pid; error_log " << root << "/error.log error;\n"
                        << "events { worker_connections " << settings.workerConnections << "; }\n"
                        << "http { " << settings.http << "\n"
                        << "  client_body_temp_path " << root << "; proxy_temp_path " << root
                        << "; fastcgi_temp_path " << root << "; uwsgi_temp_path " << root << "; scgi_temp_path "
                        << root << ";\n"
                        << "  server { listen 127.0.0.1:" << port_ << "; root " << root << ";\n"
                        << settings.locations << " } }\n";
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execlp("nginx", "nginx", "-p", root.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::execl("/usr/sbin/nginx", "nginx", "-p", root.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) return false;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (answers(base() + settings.probePath)) return true;
    }
    return false;
}

LoopbackNginx::~LoopbackNginx() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (!directory_.empty()) fs::remove_all(directory_, ec);
}

}  // namespace BenchSupport

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <future>
#include <random>
#include <thread>
#include <variant>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/files/FileError.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/http/internal/NetworkReachability.h"
#include "Platform/http/URLError.h"
#include "Platform/http/URLSession.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScriptedServer.h"

namespace {

using namespace std::chrono_literals;
using Platform::URLError;
using Platform::URLRequest;
using Platform::URLSession;
using TestSupport::LoopbackServer;
using TestSupport::ScriptedServer;
using Step = TestSupport::ScriptStep;
using Fields = std::vector<std::pair<std::string, std::string>>;
using Code = URLError::Code;
using Socket = Platform::FileDescriptor;

URLRequest makeRequest(const std::string& url, std::string method = "GET", std::optional<std::string> body = {},
                       Fields headers = {}, double timeout = 30) {
    return URLRequest{.url = Platform::URL::parse(url).value(),
                      .timeoutInterval = timeout,
                      .httpBody = std::move(body),
                      .httpMethod = std::move(method),
                      .allHTTPHeaderFields = std::move(headers)};
}

// Sends and waits (bounded); every completion must run on the pool, off this thread.
URLSession::DataResult send(const URLSession& session, URLRequest request) {
    std::promise<URLSession::DataResult> promise;
    const auto caller = std::this_thread::get_id();
    session.dataTask(std::move(request), [&](URLSession::DataResult result) {
        EXPECT_NE(std::this_thread::get_id(), caller);
        EXPECT_TRUE(Platform::ConcurrentPool::isPoolThread());
        promise.set_value(std::move(result));
    });
    auto future = promise.get_future();
    if (future.wait_for(60s) != std::future_status::ready) std::abort();  // a lost completion
    return future.get();
}

std::optional<Code> errorCode(const URLSession::DataResult& result) {
    if (const auto* error = result.error<URLError>()) return error->code();
    return std::nullopt;
}

std::string bytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(random() & 0xff);
    return out;
}

void echo(const httplib::Request& request, httplib::Response& response) {
    response.set_header("X-Method", request.method);
    response.set_content(request.body, "application/octet-stream");
}

TEST(URLSession, MethodsAndBodiesArriveIntact) {
    LoopbackServer server;
    server.on("*", "/echo", echo);
    ASSERT_TRUE(server.start());
    URLSession session;

    struct Case {
        const char* method;
        std::optional<std::string> body;
        std::string arrives;  // the body the server must read
        const char* contentType;
    };
    const std::string binary = bytes(4096, 1) + std::string(3, '\0');
    const std::string fiveMegabytes = bytes(5 << 20, 2);
    const std::string twoMegabytes = bytes(2 << 20, 3);
    const Case cases[] = {
        {"GET", {}, "", nullptr},
        {"GET", "dropped", "", nullptr},
        {"HEAD", {}, "", nullptr},
        {"POST", "a=1&b=%20x", "a=1&b=%20x", "application/x-www-form-urlencoded"},
        {"POST", binary, binary, "application/octet-stream"},
        {"POST", {}, "", nullptr},
        {"POST", fiveMegabytes, fiveMegabytes, "application/octet-stream"},
        {"PUT", twoMegabytes, twoMegabytes, "application/octet-stream"},
        {"PATCH", R"({"name":"x"})", R"({"name":"x"})", "application/json"},
        {"DELETE", {}, "", nullptr},
        {"DELETE", std::string("\0\0\0", 3), std::string("\0\0\0", 3), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " with " + std::to_string(c.body ? c.body->size() : 0) + " bytes");
        Fields headers;
        if (c.contentType && std::string_view(c.contentType) != "application/x-www-form-urlencoded") {
            headers.emplace_back("Content-Type", c.contentType);
        }
        auto result = send(session, makeRequest(server.url("/echo"), c.method, c.body, headers));
        ASSERT_TRUE(result) << result.error()->what();
        const auto& [data, response] = result.value();
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(response.value("x-method"), c.method);
        // Compared as booleans: a failure must not print megabytes.
        EXPECT_TRUE(data == (std::string_view(c.method) == "HEAD" ? "" : c.arrives)) << data.size();
        EXPECT_GE(data.capacity() - data.size(), 64u);  // room for the JSON parser's padding

        const auto seen = server.requests().back();
        EXPECT_EQ(seen.method, c.method);
        EXPECT_TRUE(seen.body == c.arrives) << seen.body.size();
        EXPECT_FALSE(seen.header("Expect"));
        if (c.contentType) {
            EXPECT_EQ(seen.header("Content-Type"), c.contentType);
        }
    }
    EXPECT_EQ(server.connectionCount(), 1u);  // kept alive throughout
}

TEST(URLSession, SessionHeadersComeFirstAndGiveWayToRequestHeaders) {
    ScriptedServer server("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
    struct Case {
        Fields session;
        Fields request;
        Fields sent;  // in wire order, less the fields libcurl adds itself
    };
    const Case cases[] = {
        {{{"X-Session", "s"}, {"X-Second", "2"}}, {{"X-Request", "r"}},
         {{"X-Session", "s"}, {"X-Second", "2"}, {"X-Request", "r"}}},
        {{{"X-Client", "session"}, {"Accept-Language", "de"}}, {{"x-client", "request"}},
         {{"Accept-Language", "de"}, {"x-client", "request"}}},
        {{}, {{"X-Multi", "1"}, {"X-Multi", "2"}}, {{"X-Multi", "1"}, {"X-Multi", "2"}}},
        {{}, {{"X-Empty", ""}}, {{"X-Empty", ""}}},
        {{{"Expect", "100-continue"}}, {{"Expect", "100-continue"}}, {}},
        {{}, {{"Accept", "application/json"}}, {{"Accept", "application/json"}}},
    };
    for (const auto& c : cases) {
        URLSession session({.httpAdditionalHeaders = c.session});
        auto result = send(session, makeRequest(server.url(), "GET", {}, c.request));
        ASSERT_TRUE(result) << result.error()->what();
        Fields sent = server.requests().back().fields;
        std::erase_if(sent, [](const auto& field) {
            return field.first == "Host" || field.first == "Accept-Encoding" || field == Fields::value_type{"Accept", "*/*"};
        });
        EXPECT_EQ(sent, c.sent);
    }
}

TEST(URLSession, RefusesUnsendableRequestsBeforeSending) {
    LoopbackServer server;
    server.on("*", "/target", nullptr);
    ASSERT_TRUE(server.start());
    struct Case {
        Fields session;
        Fields request;
        std::string method;
        std::string url;
        Code expected;
    };
    const std::string target = server.url("/target");
    const Case cases[] = {
        {{}, {{"X-A", "1\r\nX-Injected: 1"}}, "GET", target, Code::invalidRequest},
        {{}, {{"X-A", "1\nX-Injected: 1"}}, "POST", target, Code::invalidRequest},
        {{}, {{"X-A", std::string("1\0X", 3)}}, "GET", target, Code::invalidRequest},
        {{}, {{"X-A: 1\r\nX-B", "2"}}, "GET", target, Code::invalidRequest},
        {{}, {{"", "2"}}, "GET", target, Code::invalidRequest},
        {{{"X-S", "a\rb"}}, {}, "GET", target, Code::invalidRequest},
        {{}, {}, "GET / HTTP/1.1\r\nHost: x\r\n\r\nGET", target, Code::invalidRequest},
        {{}, {}, "GET", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/target", Code::unsupportedURL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.url);
        URLSession session({.httpAdditionalHeaders = c.session});
        auto result = send(session, makeRequest(c.url, c.method, "body", c.request));
        ASSERT_NE(result.error<URLError>(), nullptr);
        EXPECT_EQ(result.error<URLError>()->code(), c.expected);
        EXPECT_EQ(result.error<URLError>()->failingURL(), Platform::URL::parse(c.url));
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

// A port on loopback that nobody listens on.
std::string refusedURL() {
    const Socket fd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

TEST(URLSession, ResponsesRedirectsAndFailures) {
    const std::string text(200000, 'z');  // compressible: arrives encoded, is handed over decoded
    LoopbackServer server;
    server.on("GET", R"(/hops/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        const int left = std::stoi(request.matches[1]);
        if (left == 0) return response.set_content("arrived", "text/plain");
        response.set_redirect("/hops/" + std::to_string(left - 1));
    });
    server.on("POST", "/see-other", [](const auto&, auto& response) { response.set_redirect("/hops/0", 303); });
    server.on("GET", "/teapot", [](const auto&, auto& response) {
        response.status = 418;
        response.set_content("short and stout", "text/plain");
    });
    server.on("GET", "/text", [&](const auto&, auto& response) { response.set_content(text, "text/plain"); });
    server.on("GET", "/stall", [&](const auto&, auto& response) {
        server.waitForStop(5s);
        response.set_content("late", "text/plain");
    });
    ASSERT_TRUE(server.start());
    URLSession session;

    struct Case {
        std::string url;
        const char* method;
        std::variant<long, Code> expected;
        const char* finalPath;
        std::string body;
        double timeout = 30;
    };
    const Case cases[] = {
        {server.url("/hops/3"), "GET", 200L, "/hops/0", "arrived"},
        {server.url("/see-other"), "POST", 200L, "/hops/0", "arrived"},
        {server.url("/teapot"), "GET", 418L, "/teapot", "short and stout"},
        {server.url("/text"), "GET", 200L, "/text", text},
        {server.url("/missing"), "GET", 404L, "/missing", ""},
        {server.url("/stall"), "GET", Code::timedOut, nullptr, "", 1},
        {refusedURL(), "GET", Code::cannotConnectToHost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        auto result = send(session, makeRequest(c.url, c.method, "x", {}, c.timeout));
        if (const auto* code = std::get_if<Code>(&c.expected)) {
            const auto* error = result.error<URLError>();
            ASSERT_NE(error, nullptr);
            EXPECT_EQ(error->code(), *code);
            EXPECT_NE(error->transportCode(), 0);
            EXPECT_NE(std::string(error->what()).find(error->detail()), std::string::npos);
            continue;
        }
        ASSERT_TRUE(result) << result.error()->what();
        const auto& [data, response] = result.value();
        EXPECT_EQ(response.statusCode, std::get<long>(c.expected));
        EXPECT_EQ(response.url.path(), c.finalPath);
        EXPECT_TRUE(c.body.empty() || data == c.body) << data.size();
        EXPECT_TRUE(c.body != text || response.value("Content-Encoding"));
    }
    const auto requests = server.requests();
    const auto seeOther = std::find_if(requests.begin(), requests.end(), [](auto& r) { return r.path == "/see-other"; });
    ASSERT_LT(seeOther + 1, requests.end());
    EXPECT_EQ(seeOther->method, "POST");
    EXPECT_EQ((seeOther + 1)->method, "GET");  // a 303 is followed with GET
}

TEST(URLSession, ManyConcurrentRequestsFromManyThreads) {
    LoopbackServer server;
    server.on("GET", "/number", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.get_param_value("n"), "text/plain");
    });
    ASSERT_TRUE(server.start());
    URLSession session;
    constexpr int threads = 8, perThread = 25;
    std::vector<std::future<URLSession::DataResult>> futures(threads * perThread);
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int n = t * perThread; n < (t + 1) * perThread; ++n) {
                futures[n] = session.data(makeRequest(server.url("/number?n=" + std::to_string(n))));
            }
        });
    }
    for (auto& poster : posters) poster.join();
    for (std::size_t n = 0; n < futures.size(); ++n) {
        ASSERT_EQ(futures[n].wait_for(120s), std::future_status::ready);
        auto result = futures[n].get();
        ASSERT_TRUE(result) << result.error()->what();
        EXPECT_EQ(result.value().first, std::to_string(n));
    }
    EXPECT_LE(server.connectionCount(), static_cast<std::size_t>(session.configuration().maximumConnectionsPerHost));
}

TEST(URLSession, EndingSessionCancelsTransfersInFlight) {
    for (const bool invalidate : {false, true}) {
        LoopbackServer server;
        server.on("GET", "/hold", [&](const auto&, auto& response) {
            server.waitForStop(20s);
            response.set_content("held", "text/plain");
        });
        ASSERT_TRUE(server.start());
        std::vector<std::future<URLSession::DataResult>> futures;
        {
            URLSession session;
            // Two more than the host's connections: those wait in the session's queue.
            const int connections = session.configuration().maximumConnectionsPerHost;
            for (int i = 0; i < connections + 2; ++i) futures.push_back(session.data(makeRequest(server.url("/hold"))));
            ASSERT_TRUE(server.waitForRequests(static_cast<std::size_t>(connections), 30s));
            if (invalidate) {
                session.invalidateAndCancel();
                futures.push_back(session.data(makeRequest(server.url("/hold"))));
            }
        }
        for (auto& future : futures) {
            ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
            EXPECT_EQ(errorCode(future.get()), Code::cancelled) << invalidate;
        }
    }
}

// Runs itself again in a new network namespace, where the only interface is a downed
// loopback: a real offline machine rather than a simulated one.
TEST(URLSessionOffline, HoldsRequestsOnlyWhileOffline) {
    using TestSupport::ChildProcess;
    if (ChildProcess::role() != "offline") {
        auto child = ChildProcess::start("URLSessionOffline.*",
                                         {.role = "offline", .network = ChildProcess::Network::isolated});
        const int status = child.wait();
        if (status == ChildProcess::setupFailed) GTEST_SKIP() << "no network namespaces here";
        EXPECT_EQ(status, 0);
        return;
    }

    ASSERT_FALSE(Platform::detail::hasUsableNetworkInterface());
    struct Case {
        const char* url;
        bool waits;
        double resourceTimeout;
        Code expected;
    };
    const Case cases[] = {
        {"http://offline.invalid/", false, 604800, Code::notConnectedToInternet},
        {"http://offline.invalid/", true, 2.5, Code::timedOut},
        {"http://127.0.0.1:9/", true, 604800, Code::cannotConnectToHost},  // loopback is never held
    };
    for (const auto& c : cases) {
        URLSession session({.waitsForConnectivity = c.waits, .timeoutIntervalForResource = c.resourceTimeout});
        EXPECT_EQ(errorCode(send(session, makeRequest(c.url))), c.expected) << c.url << " " << c.waits;
    }
}

// A session reads the proxy variables once, when it starts: those set then are followed.
// In a process of its own, so changing the environment races with no other thread.
TEST(URLSessionProxy, FollowsTheEnvironmentItStartedWith) {
    using TestSupport::ChildProcess;
    if (ChildProcess::role() != "proxy") {
        EXPECT_EQ(ChildProcess::start("URLSessionProxy.*", {.role = "proxy"}).wait(), 0);
        return;
    }
    LoopbackServer proxy;
    proxy.on("GET", ".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("by proxy", "text/plain");
    });
    ASSERT_TRUE(proxy.start());
    struct Case {
        const char* name;
        const char* variable;  // none: no proxy variable at all
        bool proxied;
    };
    const Case cases[] = {
        {"http_proxy", "http_proxy", true},
        {"all_proxy", "all_proxy", true},
        {"ALL_PROXY", "ALL_PROXY", true},
        {"https_proxy only, http URL", "https_proxy", false},
        {"none", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
        if (c.variable) ::setenv(c.variable, proxy.url("").c_str(), 1);
        const URLSession session({.waitsForConnectivity = false});
        const auto result = send(session, makeRequest("http://proxied.invalid/x"));
        ASSERT_EQ(bool(result), c.proxied);
        if (c.proxied) {
            EXPECT_EQ(result.value().first, "by proxy");
        }
    }
}

// A request timeout of zero or below, or NaN, means the default rather than "at once".
TEST(URLSession, UnusableRequestTimeoutsMeanTheDefault) {
    // Past the short timeout's second, well within the default's minute.
    ScriptedServer server(TestSupport::Script{Step::send("HTTP/1.1 200 OK\r\n"), Step::pause(2s),
                                              Step::send("Content-Length: 2\r\n\r\nok")});
    constexpr double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        double timeout;
        std::optional<Code> expected;  // none: the answer arrives
    };
    const Case cases[] = {
        {"zero", 0, {}},
        {"negative", -1, {}},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), {}},
        {"negative infinity", -infinity, {}},
        {"infinity", infinity, {}},
        {"huge", 1e300, {}},
        {"half a second", 0.5, Code::timedOut},
    };
    URLSession session({.maximumConnectionsPerHost = std::size(cases)});
    std::vector<std::future<URLSession::DataResult>> futures;
    for (const auto& c : cases) futures.push_back(session.data(makeRequest(server.url(), "GET", {}, {}, c.timeout)));
    for (std::size_t i = 0; i < futures.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_EQ(futures[i].wait_for(60s), std::future_status::ready);
        const auto result = futures[i].get();
        EXPECT_EQ(errorCode(result), cases[i].expected);
        if (!cases[i].expected) {
            ASSERT_TRUE(result);
            EXPECT_EQ(result.value().first, "ok");
        }
    }
}
// A body read from part of a file as it goes out, including again after a 307.
TEST(URLSession, UploadTasksSendFileRanges) {
    LoopbackServer server;
    server.on("*", "/echo", echo);
    server.on("*", "/moved", [](const auto&, auto& response) { response.set_redirect("/echo", 307); });
    ASSERT_TRUE(server.start());
    URLSession session;

    const std::string contents = bytes(3 << 20, 4);
    char path[] = "/tmp/quillo-upload-XXXXXX";
    auto file = std::make_shared<const Platform::FileDescriptor>(::mkstemp(path));
    ASSERT_TRUE(*file);
    ::unlink(path);
    ASSERT_EQ(::write(file->get(), contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));

    enum class Expect { arrives, fileError, refused };
    struct Case {
        const char* name;
        const char* method;
        const char* path;
        std::shared_ptr<const Platform::FileDescriptor> file;
        std::uint64_t offset;
        std::uint64_t length;
        Expect expect;
    };
    const std::uint64_t size = contents.size();
    const Case cases[] = {
        {"a range inside", "PUT", "/echo", file, 1000, 2 << 20, Expect::arrives},
        {"the whole file", "POST", "/echo", file, 0, size, Expect::arrives},
        {"an empty range", "PUT", "/echo", file, size, 0, Expect::arrives},
        {"sent again after a 307", "POST", "/moved", file, 7, size - 7, Expect::arrives},
        {"a range past the end", "PUT", "/echo", file, size - 10, 100, Expect::fileError},
        {"a GET", "GET", "/echo", file, 0, 10, Expect::refused},
        {"no file", "PUT", "/echo", nullptr, 0, 10, Expect::refused},
        {"a range past any offset", "PUT", "/echo", file, 1, ~std::uint64_t{0}, Expect::refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<URLSession::DataResult> promise;
        auto progress = session.uploadTask(makeRequest(server.url(c.path), c.method, "ignored", {{"Content-Type", "application/octet-stream"}}),
                                           {.file = c.file, .offset = c.offset, .length = c.length},
                                           [&](URLSession::DataResult result) { promise.set_value(std::move(result)); });
        auto future = promise.get_future();
        ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
        const auto result = future.get();
        switch (c.expect) {
            case Expect::arrives: {
                ASSERT_TRUE(result) << result.error()->what();
                const auto& data = result.value().first;
                EXPECT_TRUE(data == std::string_view(contents).substr(c.offset, c.length)) << data.size();
                EXPECT_EQ(progress->completedUnitCount(), progress->totalUnitCount());
                EXPECT_GE(progress->completedUnitCount(), static_cast<std::int64_t>(c.length));
                break;
            }
            case Expect::fileError: EXPECT_NE(result.error<Platform::FileError>(), nullptr); break;
            case Expect::refused: EXPECT_EQ(errorCode(result), Code::invalidRequest); break;
        }
    }
}

// libcurl reads a body it was not given from standard input. A POST, PUT or PATCH without
// a body must send "Content-Length: 0" and nothing else, so this runs in a child process
// whose standard input holds bytes.
TEST(URLSessionStandardInput, BodilessWritesSendNothingFromStandardInput) {
    if (std::getenv("QUILLO_STDIN_CHILD") == nullptr) {
        std::string self = "/proc/self/exe", filter = "--gtest_filter=URLSessionStandardInput.*";
        std::string flag = "QUILLO_STDIN_CHILD=1";
        std::vector<char*> envp{flag.data()};
        for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
        envp.push_back(nullptr);
        char* argv[] = {self.data(), filter.data(), nullptr};
        using Platform::FileDescriptor;
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        FileDescriptor input(ends[0]), filler(ends[1]);
        ASSERT_EQ(pipe(ends), 0);  // the child holds the write end until it exits
        FileDescriptor finished(ends[0]), finishedWriter(ends[1]);
        const std::string stolen = "bytes on standard input\n";
        ASSERT_EQ(write(filler.get(), stolen.data(), stolen.size()), static_cast<ssize_t>(stolen.size()));
        filler.reset();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(input.get(), STDIN_FILENO);
            execve(self.c_str(), argv, envp.data());
            _exit(127);
        }
        input.reset();
        finishedWriter.reset();
        pollfd exited{.fd = finished.get(), .events = POLLIN, .revents = 0};
        if (poll(&exited, 1, 60000) != 1) kill(child, SIGKILL);  // hung for a minute
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        return;
    }

    ScriptedServer server("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
    URLSession session;
    struct Case {
        const char* method;
        std::optional<std::string> contentLength;
    };
    const Case cases[] = {{"POST", "0"}, {"PUT", "0"}, {"PATCH", "0"}, {"post", "0"}, {"DELETE", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        auto result = send(session, makeRequest(server.url(), c.method));
        ASSERT_TRUE(result) << result.error()->what();
        const auto request = server.requests().back();
        EXPECT_EQ(request.field("Content-Length"), c.contentLength);
        EXPECT_EQ(request.field("Transfer-Encoding"), std::nullopt);
        EXPECT_EQ(request.body, "");
    }
}

}  // namespace

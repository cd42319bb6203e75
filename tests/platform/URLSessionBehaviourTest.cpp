#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <future>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <variant>
#include <vector>

#include "Platform/http/URLError.h"
#include "Platform/http/URLSession.h"
#include "tests/support/Gzip.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PoolDrain.h"
#include "tests/support/ScriptedServer.h"

namespace {

using namespace std::chrono_literals;
using Platform::URLError;
using Platform::URLSession;
using TestSupport::gzipped;
using TestSupport::gzippedZeros;
using TestSupport::Script;
using TestSupport::ScriptedServer;
using Step = TestSupport::ScriptStep;
using Code = URLError::Code;

constexpr std::uint64_t MiB = 1 << 20;

// Bytes no coding can shrink.
std::string noise(std::size_t size) {
    std::mt19937 random(7);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(random() & 0xff);
    return out;
}

std::string answer(std::string_view status, std::string_view fields, std::string_view body = {}) {
    return "HTTP/1.1 " + std::string(status) + "\r\n" + std::string(fields) + "\r\n" + std::string(body);
}

std::string withLength(std::string_view status, std::string_view body, std::string_view fields = {}) {
    return answer(status, std::string(fields) + "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

std::string manyFields(std::size_t count, std::size_t valueLength = 8) {
    std::string fields;
    for (std::size_t i = 0; i < count; ++i) fields += "X-F" + std::to_string(i) + ": " + std::string(valueLength, 'v') + "\r\n";
    return fields;
}

std::string chunked(const std::vector<std::string>& chunks, std::string_view trailers = {}) {
    std::string body;
    for (const auto& chunk : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        body += size + chunk + "\r\n";
    }
    return body + "0\r\n" + std::string(trailers) + "\r\n";
}

ScriptedServer::Responder reply(std::function<std::string()> make) {
    return [make = std::move(make)](const TestSupport::RawRequest&) { return Script{Step::send(make())}; };
}
ScriptedServer::Responder reply(std::string bytes) {
    return [bytes = std::move(bytes)](const TestSupport::RawRequest&) { return Script{Step::send(bytes)}; };
}
ScriptedServer::Responder script(Script steps) {
    return [steps = std::move(steps)](const TestSupport::RawRequest&) { return steps; };
}
// "/" answers with `first`; any other target with a plain 200 "arrived".
ScriptedServer::Responder redirecting(std::string first) {
    return [first = std::move(first)](const TestSupport::RawRequest& request) {
        return Script{Step::send(request.target() == "/" ? first : withLength("200 OK", "arrived"))};
    };
}

struct Received {
    long status;
    std::string body;
    const char* absentField = nullptr;  // a field that must not reach the response
};

struct Misbehaviour {
    std::string name;
    ScriptedServer::Responder server;
    std::variant<Received, Code> expected;
    std::optional<std::uint64_t> maximum = MiB;
    double timeout = 10;
    std::string method = "GET";

    friend void PrintTo(const Misbehaviour& row, std::ostream* out) { *out << row.name; }
};

// Servers that break HTTP on purpose: every one must end in a clear outcome, delivered
// once, with memory held within the session's bound.
std::vector<Misbehaviour> misbehaviours() {
    const std::string lengthHead = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string tenGiB = "Content-Length: 10737418240\r\n";
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    return {
        // The connection breaks or goes quiet.
        {"ClosesMidBodyWithLength", reply(lengthHead + "0123456789"), Code::networkConnectionLost},
        {"ClosesMidChunkedBody", reply(chunkedHead + "5\r\nhello\r\n"), Code::networkConnectionLost},
        {"ResetsBeforeAnswering", script({Step::reset()}), Code::networkConnectionLost},
        {"ResetsMidBody", script({Step::send(lengthHead + "0123456789"), Step::pause(50ms), Step::reset()}),
         Code::networkConnectionLost},
        {"NeverAnswers", script({Step::hold()}), Code::timedOut, MiB, 1},
        {"StallsMidHeaders", script({Step::send("HTTP/1.1 200 OK\r\nContent-Le"), Step::hold()}), Code::timedOut, MiB, 1},
        {"StallsMidBody", script({Step::send(lengthHead + "01234"), Step::hold()}), Code::timedOut, MiB, 1},
        {"DripsOneByteAtATime", script({Step::drip(withLength("200 OK", "dripped"), 2ms)}), Received{200, "dripped"}},
        // Odd but valid answers.
        {"Empty200WithLength", reply(withLength("200 OK", "")), Received{200, ""}},
        {"Empty200UntilClose", reply(answer("200 OK", "Connection: close\r\n")), Received{200, ""}},
        {"InvalidUTF8Body", reply(withLength("200 OK", "\xff\xfe\xc3(")), Received{200, "\xff\xfe\xc3("}},
        {"Status299", reply(withLength("299 Odd", "odd")), Received{299, "odd"}},
        {"Status600", reply(withLength("600 Odd", "odd")), Received{600, "odd"}},
        {"InterimThenFinal", reply(interim + answer("103 Early Hints", "Link: </a>\r\n") + withLength("200 OK", "final")),
         Received{200, "final", "Link"}},
        {"OnlyAnInterimAnswer", reply(interim), Code::networkConnectionLost},
        {"TrailersStayOut", reply(chunkedHead + chunked({"abc", "def"}, "X-Trailer: t\r\n")), Received{200, "abcdef", "X-Trailer"}},
        {"ThousandFields", reply(withLength("200 OK", "ok", manyFields(998))), Received{200, "ok"}},
        // Redirects.
        {"RedirectLoop", reply(answer("302 Found", "Location: /\r\nConnection: close\r\nContent-Length: 0\r\n")),
         Code::tooManyRedirects},
        {"RedirectToFile", reply(answer("302 Found", "Location: file:///etc/passwd\r\nContent-Length: 0\r\n")),
         Code::unsupportedURL},
        {"RedirectToFtp", reply(answer("302 Found", "Location: ftp://127.0.0.1/f\r\nContent-Length: 0\r\n")),
         Code::unsupportedURL},
        {"RedirectDeclaringHugeBody", redirecting(answer("302 Found", "Location: /next\r\nConnection: close\r\n" + tenGiB)),
         Received{200, "arrived"}},
        // Header blocks that are not HTTP or too large.
        {"NotHTTP", reply("SSH-2.0-Banner\r\n"), Code::badServerResponse},
        {"HeaderLineOverOurBound", reply(withLength("200 OK", "x", "X-Big: " + std::string(70 << 10, 'h') + "\r\n")),
         Code::badServerResponse},
        {"HeaderLineOverLibcurlBound", reply(withLength("200 OK", "x", "X-Big: " + std::string(200 << 10, 'h') + "\r\n")),
         Code::badServerResponse},
        {"HeaderBlockOverBound", reply(withLength("200 OK", "x", manyFields(5, 60 << 10))), Code::badServerResponse},
        {"ThousandAndOneFields", reply(withLength("200 OK", "x", manyFields(1000))), Code::badServerResponse},
        {"TwentyThousandFields", reply([] { return withLength("200 OK", "x", manyFields(20000)); }), Code::badServerResponse},
        {"EndlessInterimAnswers", reply([=] {
             std::string all;
             for (int i = 0; i < 100; ++i) all += interim;
             return all + withLength("200 OK", "late");
         }),
         Code::badServerResponse},
        {"EndlessTrailers", reply([=] { return chunkedHead + chunked({"abc"}, manyFields(1500)); }), Code::badServerResponse},
        {"NulInHeaderField", reply(withLength("200 OK", "x", std::string("X-A: a\0b\r\n", 10))), Code::badServerResponse},
        {"NegativeContentLength", reply(answer("200 OK", "Content-Length: -5\r\n", "abc")), Code::badServerResponse},
        // Content codings.
        {"BadGzip", reply(withLength("200 OK", "this is not gzip", "Content-Encoding: gzip\r\n")),
         Code::cannotDecodeContentData},
        {"GzipWithinMaximum", reply([] { return withLength("200 OK", gzippedZeros(512 << 10), "Content-Encoding: gzip\r\n"); }),
         Received{200, std::string(512 << 10, '\0')}},
        {"CodedBodyLongerThanItsDecodedForm", reply([] { return withLength("200 OK", gzipped(noise(MiB - 40)), "Content-Encoding: gzip\r\n"); }),
         Received{200, noise(MiB - 40)}},
        {"GzipBomb", reply([] { return withLength("200 OK", gzippedZeros(64 * MiB), "Content-Encoding: gzip\r\n"); }),
         Code::dataLengthExceedsMaximum},
        {"GzipBombAgainstAPIMaximum",
         reply([] { return withLength("200 OK", gzippedZeros(65 * MiB), "Content-Encoding: gzip\r\n"); }),
         Code::dataLengthExceedsMaximum, 64 * MiB},
        // Bodies against the maximum: declared ones fail at the header, before any body.
        {"OverMaximumByLength", script({Step::send(answer("200 OK", "Content-Length: 1048577\r\n")), Step::hold()}),
         Code::dataLengthExceedsMaximum, MiB, 5},
        {"OverflowingContentLength",
         script({Step::send(answer("200 OK", "Content-Length: 99999999999999999999999\r\n")), Step::hold()}),
         Code::dataLengthExceedsMaximum, MiB, 5},
        {"AtMaximumByLength", reply(withLength("200 OK", std::string(MiB, 'm'))), Received{200, std::string(MiB, 'm')}},
        {"OverMaximumChunked", reply(chunkedHead + chunked({std::string(600 << 10, 'c'), std::string(600 << 10, 'c')})),
         Code::dataLengthExceedsMaximum},
        {"OverMaximumUntilClose", reply(answer("200 OK", "Connection: close\r\n", std::string(2 * MiB, 'u'))),
         Code::dataLengthExceedsMaximum},
        {"ChunkedIgnoresDeclaredLength", reply(answer("200 OK", "Transfer-Encoding: chunked\r\n" + tenGiB, chunked({"small"}))),
         Received{200, "small"}},
        {"HeadDeclaringHugeBody", reply(answer("200 OK", tenGiB)), Received{200, ""}, MiB, 10, "HEAD"},
        {"NoMaximumSet", reply(withLength("200 OK", std::string(2 * MiB, 'n'))), Received{200, std::string(2 * MiB, 'n')},
         std::nullopt},
    };
}

class MisbehavingServer : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(MisbehavingServer, EndsInOneClearOutcome) {
    const Misbehaviour& row = GetParam();
    ScriptedServer server(row.server);
    struct Completions {
        std::atomic<int> count{0};
        std::promise<URLSession::DataResult> first;
    };
    // Shared: a stray second completion must find it alive.
    const auto completions = std::make_shared<Completions>();
    std::future<URLSession::DataResult> future = completions->first.get_future();
    {
        URLSession session({.maximumResponseBodySize = row.maximum});
        session.dataTask({.url = *Platform::URL::parse(server.url("/")), .timeoutInterval = row.timeout, .httpMethod = row.method},
                         [completions](URLSession::DataResult result) {
                             if (completions->count++ == 0) completions->first.set_value(std::move(result));
                         });
        ASSERT_EQ(future.wait_for(60s), std::future_status::ready) << "no completion";
    }  // the session's end joins its thread: nothing more can be posted after this
    ASSERT_TRUE(TestSupport::drainConcurrentPool());
    EXPECT_EQ(completions->count.load(), 1);

    const auto result = future.get();
    if (const auto* code = std::get_if<Code>(&row.expected)) {
        const auto* error = result.error<URLError>();
        ASSERT_NE(error, nullptr) << (result ? "succeeded with status " + std::to_string(result.value().second.statusCode)
                                             : std::string(result.error()->what()));
        EXPECT_EQ(std::string(URLError::name(error->code())), URLError::name(*code)) << error->what();
        return;
    }
    const auto& expected = std::get<Received>(row.expected);
    ASSERT_TRUE(result) << result.error()->what();
    const auto& [body, response] = result.value();
    EXPECT_EQ(response.statusCode, expected.status);
    EXPECT_EQ(body.size(), expected.body.size());
    EXPECT_TRUE(body == expected.body);  // not printed: may be megabytes
    if (expected.absentField) {
        EXPECT_EQ(response.value(expected.absentField), std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, MisbehavingServer, ::testing::ValuesIn(misbehaviours()),
                         [](const auto& info) { return info.param.name; });

using Platform::Progress;
using Platform::URLRequest;
using TestSupport::LoopbackServer;

constexpr std::size_t piece = 64 << 10;

URLRequest request(const std::string& url, std::optional<std::string> body = {}) {
    const bool sends = body.has_value();
    // Not form data: the server would refuse a large form body.
    return URLRequest{.url = Platform::URL::parse(url).value(),
                      .httpBody = std::move(body),
                      .httpMethod = sends ? "POST" : "GET",
                      .allHTTPHeaderFields = {{"Content-Type", "application/octet-stream"}}};
}

// Spins (never sleeps) until `done` or ten seconds passed.
template <class Condition>
bool spinUntil(Condition done) {
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

// Counts completions; the test waits for the first and checks there was no second.
struct Completions {
    std::atomic<int> count{0};
    std::promise<URLSession::DataResult> first;
    URLSession::DataCompletion callback() {
        return [this](URLSession::DataResult result) {
            if (count.fetch_add(1) == 0) first.set_value(std::move(result));
        };
    }
};

TEST(URLSessionProgress, CountsBytesAsTheyMoveAndEndsAtTheTotal) {
    // What the server's threads read lives until the server has joined them.
    const std::string megabyte(1 << 20, 'q');
    std::vector<std::shared_ptr<Progress>> progresses;
    // The server sends the next 64 KiB only once the client's progress counted the last,
    // so the count is seen moving piece by piece (with or without a Content-Length).
    std::atomic<const Progress*> watched{nullptr};
    std::atomic<bool> outpaced{false};
    LoopbackServer server;
    const auto pace = [&](std::size_t offset) {
        if (!spinUntil([&] { return watched.load() && watched.load()->completedUnitCount() >= std::int64_t(offset); })) {
            outpaced = true;
        }
        return std::min(piece, megabyte.size() - offset);
    };
    server.on("GET", "/sized", [&](const auto&, httplib::Response& response) {
        response.set_content_provider(megabyte.size(), "application/octet-stream",
                                      [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          return sink.write(megabyte.data() + offset, pace(offset));
                                      });
    });
    server.on("GET", "/chunked", [&](const auto&, httplib::Response& response) {
        response.set_chunked_content_provider("application/octet-stream", [&](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= megabyte.size()) {
                sink.done();
                return true;
            }
            return sink.write(megabyte.data() + offset, pace(offset));
        });
    });
    server.on("*", "/echo", [](const httplib::Request& in, httplib::Response& out) {
        out.set_content(in.body, "application/octet-stream");
    });
    ASSERT_TRUE(server.start());
    URLSession session;

    struct Case {
        const char* name;
        std::string path;
        std::optional<std::string> body;
        std::int64_t bytes;  // sent and received
    };
    const Case cases[] = {
        {"with Content-Length", "/sized", {}, 1 << 20},
        {"chunked, no length", "/chunked", {}, 1 << 20},
        {"upload echoed back", "/echo", std::string(256 << 10, 'u'), 2 * (256 << 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Completions done;
        watched = nullptr;
        const auto progress = session.dataTask(request(server.url(c.path), c.body), done.callback());
        progresses.push_back(progress);
        watched = progress.get();
        auto future = done.first.get_future();
        std::int64_t last = 0;
        bool shrank = false;
        while (future.wait_for(0s) != std::future_status::ready) {
            const auto now = progress->completedUnitCount();
            shrank = shrank || now < last;
            last = now;
            ASSERT_LE(now, c.bytes);
            std::this_thread::yield();
        }
        auto result = future.get();
        ASSERT_TRUE(result);
        EXPECT_EQ(result.value().second.statusCode, 200);
        EXPECT_FALSE(shrank);
        EXPECT_FALSE(outpaced.load()) << "the count did not move piece by piece";
        EXPECT_EQ(progress->completedUnitCount(), c.bytes);
        EXPECT_EQ(progress->totalUnitCount(), c.bytes);
        EXPECT_TRUE(progress->isFinished());
    }
}

TEST(URLSessionProgress, CancelStopsTheTaskAndCompletesItOnce) {
    const std::string firstPart(piece, 'a');
    LoopbackServer server;
    // Headers and a first piece, then nothing until the server stops. Not text: the server
    // would compress it and hold the piece back.
    server.on("GET", "/stall", [&](const auto&, httplib::Response& response) {
        response.set_chunked_content_provider("application/octet-stream", [&](std::size_t offset, httplib::DataSink& sink) {
            if (offset == 0) return sink.write(firstPart.data(), firstPart.size());
            server.waitForStop(20s);
            sink.done();
            return true;
        });
    });
    server.on("GET", "/hold", [&](const auto&, httplib::Response& response) {
        server.waitForStop(20s);
        response.set_content("late", "text/plain");
    });
    server.on("GET", "/quick", [](const auto&, httplib::Response& response) { response.set_content("ok", "text/plain"); });
    ASSERT_TRUE(server.start());
    URLSession session;

    enum class When { atOnce, beforeFirstByte, midBody, afterCompletion };
    struct Case {
        const char* name;
        When when;
        const char* path;
        bool cancelled;  // what the completion reports: cancelled, or the answer
    };
    const Case cases[] = {
        {"at once", When::atOnce, "/hold", true},
        {"before the first byte", When::beforeFirstByte, "/hold", true},
        {"mid-body, server stalling", When::midBody, "/stall", true},
        {"after completion", When::afterCompletion, "/quick", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Completions done;
        auto future = done.first.get_future();
        const std::size_t seen = server.requestCount();
        const auto progress = session.dataTask(request(server.url(c.path)), done.callback());
        switch (c.when) {
            case When::atOnce: break;
            case When::beforeFirstByte: ASSERT_TRUE(server.waitForRequests(seen + 1, 10s)); break;
            case When::midBody: ASSERT_TRUE(spinUntil([&] { return progress->completedUnitCount() > 0; })); break;
            case When::afterCompletion: ASSERT_EQ(future.wait_for(10s), std::future_status::ready); break;
        }
        progress->cancel();
        progress->cancel();
        ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "a cancelled task must still complete";
        const auto result = future.get();
        if (c.cancelled) {
            ASSERT_NE(result.error<URLError>(), nullptr);
            EXPECT_EQ(result.error<URLError>()->code(), URLError::Code::cancelled);
            EXPECT_TRUE(progress->isCancelled());
        } else {
            EXPECT_TRUE(result);
            EXPECT_FALSE(progress->isCancelled()) << "cancelling a finished task does nothing";
        }
        // A later task on the same session completes after anything the cancel could
        // still have caused for this one.
        ASSERT_TRUE(session.data(request(server.url("/quick"))).get());
        EXPECT_EQ(done.count.load(), 1);
    }
}

}  // namespace

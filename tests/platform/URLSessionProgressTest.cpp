#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "Platform/http/URLError.h"
#include "Platform/http/URLSession.h"
#include "tests/support/LoopbackServer.h"

namespace {

using namespace std::chrono_literals;
using Platform::Progress;
using Platform::URLError;
using Platform::URLRequest;
using Platform::URLSession;
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

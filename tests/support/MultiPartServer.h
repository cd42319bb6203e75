#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"

namespace TestSupport {

// Fault switches of MultiPartServer.
struct MultiPartFaults {
    // Statuses the first PUTs of a part get, by part number, before it is stored.
    std::map<int, std::vector<int>> partStatuses;
    // Every PUT of a part with this number fails with this status (0: none).
    std::pair<int, int> alwaysFailing{0, 0};
    // Sent with the failures above.
    std::optional<std::string> retryAfter;
    // Entity tags are MD5s of other bytes.
    bool wrongETags = false;
    // A PUT of this part number is held until release() and then dropped (503).
    int heldPart = 0;
    // Each PUT waits (bounded) until this many are in flight at once.
    std::size_t awaitedConcurrency = 0;
};

// What a MultiPartServer has seen so far.
struct MultiPartRecord {
    // The bytes of the last completed upload.
    std::optional<std::string> completedContents;
    // Storage keys abandoned through the abort endpoints.
    std::vector<std::string> abortedKeys;
    // Part numbers of every PUT that reached the storage, in arrival order.
    std::vector<int> partPuts;
    std::size_t mostPutsAtOnce = 0;
};

// Stands in for the service's multipart endpoints (both families) and the storage
// behind them, on loopback: opens uploads, presigns part addresses on itself, takes part
// PUTs (checking Content-MD5, answering the MD5 as entity tag), joins the parts in the
// order of the tags on completion and answers the new item. Fault switches make parts
// fail, hold, or come back with a wrong tag.
class MultiPartServer {
public:
    using Faults = MultiPartFaults;

    explicit MultiPartServer(Faults faults = {});
    ~MultiPartServer() { release(); }

    // False when not listening.
    bool start() { return server_.start(); }
    // The service's base address, "http://127.0.0.1:<port>".
    std::string baseURL() const { return server_.url(""); }
    void setFaults(Faults faults) { std::lock_guard lock(mutex_); faults_ = std::move(faults); }
    MultiPartRecord record() const { std::lock_guard lock(mutex_); return record_; }

    bool waitForHeldPart(std::chrono::milliseconds limit) { return waitUntil(limit, [&] { return held_; }); }
    // Lets the held part go.
    void release() { std::lock_guard lock(mutex_); released_ = true; changed_.notify_all(); }
    bool waitForAbort(std::chrono::milliseconds limit) { return waitUntil(limit, [&] { return !record_.abortedKeys.empty(); }); }

private:
    template <class Condition>
    bool waitUntil(std::chrono::milliseconds limit, Condition condition) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, condition);
    }
    struct Upload {
        std::string key;
        std::map<int, std::string> parts;
    };

    LoopbackServer server_{std::chrono::seconds(90)};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Faults faults_;
    MultiPartRecord record_;
    std::map<std::string, Upload> uploads_;  // by upload number
    int nextUpload_ = 1;
    std::size_t inFlight_ = 0;
    bool concurrencySeen_ = false;
    bool held_ = false;
    bool released_ = false;
};

}  // namespace TestSupport

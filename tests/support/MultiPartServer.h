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

// Stands in for the service's multipart endpoints (both families) and the storage
// behind them, on loopback: opens uploads, presigns part addresses on itself, takes part
// PUTs (checking Content-MD5, answering the MD5 as entity tag), joins the parts in the
// order of the tags on completion and answers the new item. Fault switches make parts
// fail, hold, or come back with a wrong tag.
class MultiPartServer {
public:
    using Faults = MultiPartFaults;

    explicit MultiPartServer(Faults faults = {});
    ~MultiPartServer();

    // The service's base address ("http://127.0.0.1:<port>"); false when not listening.
    bool start();
    std::string baseURL() const { return server_.url(""); }
    void setFaults(Faults faults);

    // The bytes of the last completed upload and the body its completion carried.
    std::optional<std::string> completedContents() const;
    std::string completeBody() const;
    // Storage keys abandoned through the abort endpoints.
    std::vector<std::string> abortedKeys() const;
    // Part numbers of every PUT that reached the storage, in arrival order.
    std::vector<int> partPuts() const;
    std::size_t mostPutsAtOnce() const;
    // Query strings of the presign calls.
    std::vector<std::string> presignQueries() const;

    bool waitForHeldPart(std::chrono::milliseconds limit);
    void release();
    bool waitForAbort(std::chrono::milliseconds limit);

private:
    struct Upload {
        std::string key;
        std::map<int, std::string> parts;
    };

    LoopbackServer server_{std::chrono::seconds(90)};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Faults faults_;
    std::map<std::string, Upload> uploads_;  // by upload number
    int nextUpload_ = 1;
    std::optional<std::string> completed_;
    std::string completeBody_;
    std::vector<std::string> aborted_;
    std::vector<int> puts_;
    std::vector<std::string> presigns_;
    std::size_t inFlight_ = 0;
    std::size_t mostInFlight_ = 0;
    bool concurrencySeen_ = false;
    bool held_ = false;
    bool released_ = false;
};

// The MD5 of `bytes` as lower-case hex and as base64.
std::string md5Hex(const std::string& bytes);
std::string md5Base64(const std::string& bytes);

}  // namespace TestSupport

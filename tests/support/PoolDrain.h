#pragma once

#include <chrono>

namespace TestSupport {

// Waits (at most `limit`) until every task queued on the concurrent pool before the call
// has finished, so no completion posted earlier can still arrive; false when time ran out.
// Occupies every pool thread at once with a marker: the pool takes tasks in order, so a
// thread that reached its marker has finished whatever it took before.
bool drainConcurrentPool(std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace TestSupport

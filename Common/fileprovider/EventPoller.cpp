#include "Common/fileprovider/EventPoller.h"

#include <algorithm>
#include <future>

#include "Common/fileprovider/TarnEventsParameter.h"
#include "Platform/core/RawValues.h"
#include "Platform/http/URLError.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Common {

namespace {

// The address carries the cursor to the millisecond: an event up to that much before
// the cursor may come back in the next answer.
constexpr double boundaryWindow = 0.002;
// Events remembered at the boundary at most; a burst inside one window past this is
// still filtered by time, only repeats of its oldest members could slip through.
constexpr std::size_t maximumBoundaryKeys = 4096;

}  // namespace

EventPoller::EventPoller(WebConnection connection, Handler handler, Options options)
    : connection_(std::move(connection)),
      handler_(std::move(handler)),
      options_(std::move(options)),
      interval_(options_.minimumInterval) {
    options_.backoffFactor = std::max(options_.backoffFactor, 1.0);
    options_.maximumInterval = std::max(options_.maximumInterval, options_.minimumInterval);
}

EventPoller::~EventPoller() {
    stop();
}

void EventPoller::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void EventPoller::stop() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (inFlight_) inFlight_->cancel();
        thread.swap(thread_);
    }
    wakeUp_.notify_all();
    if (thread.joinable()) thread.join();
}

bool EventPoller::isStopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

std::optional<Platform::Date> EventPoller::cursor() const {
    std::lock_guard lock(mutex_);
    return cursor_;
}

std::string EventPoller::key(const TarnEvent& event) {
    if (event.actionId) return "id:" + *event.actionId;
    const auto& item = event.target.item;
    return "at:" + Platform::ISO8601DateFormatter::withFractionalSeconds().string(event.performedAt) + '\n' +
           std::string(Platform::rawValue(event.action)) + '\n' + std::to_string(event.account.user.id) + '\n' +
           item.id.value_or("") + '\n' + item.path.value_or("") + '\n' + item.scheme + '\n' + item.type;
}

EventPoller::PollOutcome EventPoller::pollOnce() {
    const std::optional<Platform::Date> after = cursor();
    auto promise = std::make_shared<std::promise<Platform::Result<std::vector<TarnEvent>>>>();
    auto answer = promise->get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return {.error = std::make_shared<Platform::URLError>(Platform::URLError::Code::cancelled)};
        inFlight_ = connection_.makeAPICall(
            WebService::TarnEventsParameter(after), std::nullopt, false,
            [promise](Platform::Result<std::vector<TarnEvent>> result) { promise->set_value(std::move(result)); });
    }
    auto result = answer.get();
    {
        std::lock_guard lock(mutex_);
        inFlight_.reset();
    }

    PollOutcome outcome;
    if (!result) {
        outcome.error = result.error();
        if (options_.onError) options_.onError(outcome.error);
    } else {
        std::vector<TarnEvent> fresh;
        std::optional<Platform::Date> newest = after;
        for (auto& event : std::move(result).value()) {
            if (after && event.performedAt.timeIntervalSince(*after) < -boundaryWindow) continue;
            if (!boundaryKeys_.emplace(key(event), event.performedAt).second) continue;
            if (!newest || event.performedAt > *newest) newest = event.performedAt;
            fresh.push_back(std::move(event));
        }
        // Keep only what can still come back: events inside the window before the cursor.
        if (newest) {
            std::erase_if(boundaryKeys_, [&](const auto& entry) {
                return newest->timeIntervalSince(entry.second) > boundaryWindow;
            });
        }
        if (boundaryKeys_.size() > maximumBoundaryKeys) {
            // A burst inside one window: the time filter still holds, the oldest repeats may not.
            boundaryKeys_.clear();
        }
        {
            std::lock_guard lock(mutex_);
            cursor_ = newest;
        }
        outcome.handed = fresh.size();
        if (!fresh.empty() && handler_) handler_(std::move(fresh));
    }
    if (outcome.handed > 0) {
        interval_ = options_.minimumInterval;
    } else {
        const double grown = std::max(static_cast<double>(interval_.count()), 1.0) * options_.backoffFactor;
        interval_ = std::min(options_.maximumInterval,
                             Interval(static_cast<Interval::rep>(std::min(grown, static_cast<double>(options_.maximumInterval.count())))));
    }
    outcome.nextInterval = interval_;
    return outcome;
}

void EventPoller::run() {
    while (!isStopping()) {
        const auto outcome = pollOnce();
        if (isStopping()) break;
        if (options_.wait) {
            options_.wait(outcome.nextInterval);
            continue;
        }
        std::unique_lock lock(mutex_);
        wakeUp_.wait_for(lock, outcome.nextInterval, [this] { return stopping_; });
    }
}

}  // namespace Common

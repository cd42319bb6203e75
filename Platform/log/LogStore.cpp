#include "Platform/log/LogStore.h"

#include <cstdio>
#include <string>

#include "Platform/time/ISO8601DateFormatter.h"

namespace Platform {

namespace {

void writeToStderr(const LogEntry& entry) {
    std::string line = '[' + ISO8601DateFormatter::withFractionalSeconds().string(entry.date) + "] [" +
                       entry.subsystem + ':' + entry.category + "] [" + std::string(title(entry.level)) + "] " +
                       entry.redactedMessage() + '\n';
    // One call per line so lines from different threads never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

LogStore& LogStore::shared() {
    // Never destroyed: static destructors running at exit may still log.
    static LogStore* const store = new LogStore();
    return *store;
}

void LogStore::append(LogEntry entry) {
    if (stderrSink()) writeToStderr(entry);
    const std::lock_guard lock(mutex_);
    if (capacity_ == 0) return;
    if (ring_.size() < capacity_) {
        ring_.push_back(std::move(entry));
    } else {
        ring_[oldest_] = std::move(entry);
        oldest_ = (oldest_ + 1) % capacity_;
    }
}

std::vector<LogEntry> LogStore::orderedLocked(std::optional<Date> since) const {
    std::vector<LogEntry> ordered;
    ordered.reserve(ring_.size());
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        const LogEntry& entry = ring_[(oldest_ + i) % ring_.size()];
        if (!since || entry.date >= *since) ordered.push_back(entry);
    }
    return ordered;
}

std::vector<LogEntry> LogStore::entries(std::optional<Date> since) const {
    const std::lock_guard lock(mutex_);
    return orderedLocked(since);
}

void LogStore::clear() {
    const std::lock_guard lock(mutex_);
    ring_.clear();
    oldest_ = 0;
}

std::size_t LogStore::capacity() const {
    const std::lock_guard lock(mutex_);
    return capacity_;
}

void LogStore::setCapacity(std::size_t capacity) {
    const std::lock_guard lock(mutex_);
    std::vector<LogEntry> ordered = orderedLocked(std::nullopt);
    if (ordered.size() > capacity) {
        ordered.erase(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(ordered.size() - capacity));
    }
    ring_ = std::move(ordered);
    oldest_ = 0;
    capacity_ = capacity;
}

}  // namespace Platform

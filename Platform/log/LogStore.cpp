#include "Platform/log/LogStore.h"

#include <systemd/sd-journal.h>
#include <sys/uio.h>

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

// The journal's syslog priorities.
int priority(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return 7;
        case LogLevel::info: return 6;
        case LogLevel::notice: return 5;
        case LogLevel::error: return 3;
        case LogLevel::fault: return 2;
    }
    return 6;
}

// One journal entry with the entry's own fields beside the message; fields are
// length-counted, so any byte in a value arrives as it was.
void writeToJournal(const LogEntry& entry) {
    const std::string fields[] = {
        "MESSAGE=" + entry.redactedMessage(),
        "PRIORITY=" + std::to_string(priority(entry.level)),
        "QUILLO_SUBSYSTEM=" + entry.subsystem,
        "QUILLO_CATEGORY=" + entry.category,
        "QUILLO_LEVEL=" + std::string(title(entry.level)),
        "SYSLOG_IDENTIFIER=" + entry.process,
    };
    iovec vector[std::size(fields)];
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        vector[i] = {.iov_base = const_cast<char*>(fields[i].data()), .iov_len = fields[i].size()};
    }
    // Without a journal the entry is only lost there; the store still keeps it.
    static_cast<void>(sd_journal_sendv(vector, static_cast<int>(std::size(fields))));
}

}  // namespace

LogStore& LogStore::shared() {
    // Never destroyed: static destructors running at exit may still log.
    static LogStore* const store = new LogStore();
    return *store;
}

void LogStore::append(LogEntry entry) {
    if (stderrSink()) writeToStderr(entry);
    if (journalSink()) writeToJournal(entry);
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

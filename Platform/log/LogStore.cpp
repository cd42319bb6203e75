#include "Platform/log/LogStore.h"

#include <systemd/sd-journal.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "Platform/log/internal/LogSource.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Platform {

namespace {

// Rings up to this size are reserved whole at the first entry, so they never grow by
// copying (a copy held the old and the new ring at once).
constexpr std::size_t largestReservation = 1u << 16;

void writeToStderr(Date date, const std::string& subsystem, const std::string& category, LogLevel level,
                   std::string_view message, std::span<const LogTextRange> privateRanges) {
    std::string line = '[' + ISO8601DateFormatter::withFractionalSeconds().string(date) + "] [" + subsystem + ':' +
                       category + "] [" + std::string(title(level)) + "] " +
                       redactedLogMessage(message, privateRanges) + '\n';
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
void writeToJournal(const std::string& process, const std::string& subsystem, const std::string& category,
                    LogLevel level, std::string_view message, std::span<const LogTextRange> privateRanges) {
    const std::string fields[] = {
        "MESSAGE=" + redactedLogMessage(message, privateRanges),
        "PRIORITY=" + std::to_string(priority(level)),
        "QUILLO_SUBSYSTEM=" + subsystem,
        "QUILLO_CATEGORY=" + category,
        "QUILLO_LEVEL=" + std::string(title(level)),
        "SYSLOG_IDENTIFIER=" + process,
    };
    iovec vector[std::size(fields)];
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        vector[i] = {.iov_base = const_cast<char*>(fields[i].data()), .iov_len = fields[i].size()};
    }
    // Without a journal the entry is only lost there; the store still keeps it.
    static_cast<void>(sd_journal_sendv(vector, static_cast<int>(std::size(fields))));
}

}  // namespace

LogStore::Stored::Stored(Date date, std::shared_ptr<const detail::LogSource> source, int processIdentifier,
                         LogLevel level, std::string_view message, std::span<const LogTextRange> privateRanges)
    : date(date),
      source(std::move(source)),
      processIdentifier(processIdentifier),
      level(level),
      messageLength_(message.size()),
      privateRangeCount_(static_cast<std::uint32_t>(
          std::min<std::size_t>(privateRanges.size(), std::numeric_limits<std::uint32_t>::max()))) {
    const std::size_t rangeBytes = privateRangeCount_ * sizeof(LogTextRange);
    if (messageLength_ + rangeBytes == 0) return;
    bytes_ = std::make_unique_for_overwrite<char[]>(messageLength_ + rangeBytes);
    std::memcpy(bytes_.get(), message.data(), messageLength_);
    if (rangeBytes != 0) std::memcpy(bytes_.get() + messageLength_, privateRanges.data(), rangeBytes);
}

std::vector<LogTextRange> LogStore::Stored::privateRanges() const {
    std::vector<LogTextRange> ranges(privateRangeCount_);
    if (privateRangeCount_ != 0) {
        std::memcpy(ranges.data(), bytes_.get() + messageLength_, privateRangeCount_ * sizeof(LogTextRange));
    }
    return ranges;
}

LogStore& LogStore::shared() {
    // Never destroyed: static destructors running at exit may still log.
    static LogStore* const store = new LogStore();
    return *store;
}

void LogStore::append(LogEntry entry) {
    if (stderrSink()) {
        writeToStderr(entry.date, entry.subsystem, entry.category, entry.level, entry.composedMessage,
                      entry.privateRanges);
    }
    if (journalSink()) {
        writeToJournal(entry.process, entry.subsystem, entry.category, entry.level, entry.composedMessage,
                       entry.privateRanges);
    }
    Stored stored(entry.date, detail::logSource(entry.process, entry.subsystem, entry.category),
                  entry.processIdentifier, entry.level, entry.composedMessage, entry.privateRanges);
    const std::lock_guard lock(mutex_);
    storeLocked(stored);
}

void LogStore::append(Stored entry) {
    if (stderrSink()) {
        writeToStderr(entry.date, entry.source->subsystem, entry.source->category, entry.level, entry.message(),
                      entry.privateRanges());
    }
    if (journalSink()) {
        writeToJournal(entry.source->process, entry.source->subsystem, entry.source->category, entry.level,
                       entry.message(), entry.privateRanges());
    }
    const std::lock_guard lock(mutex_);
    storeLocked(entry);
}

void LogStore::storeLocked(Stored& entry) {
    if (capacity_ == 0) return;
    if (ring_.size() < capacity_) {
        if (ring_.empty()) ring_.reserve(std::min(capacity_, largestReservation));
        ring_.push_back(std::move(entry));
    } else {
        // Swapped, not assigned: the old entry's memory is freed after the lock is let go.
        std::swap(ring_[oldest_], entry);
        oldest_ = (oldest_ + 1) % capacity_;
    }
}

std::vector<LogEntry> LogStore::orderedLocked(std::optional<Date> since) const {
    std::vector<LogEntry> ordered;
    ordered.reserve(ring_.size());
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        const Stored& entry = ring_[(oldest_ + i) % ring_.size()];
        if (since && entry.date < *since) continue;
        ordered.push_back(LogEntry{
            .date = entry.date,
            .processIdentifier = entry.processIdentifier,
            .process = entry.source->process,
            .subsystem = entry.source->subsystem,
            .category = entry.source->category,
            .level = entry.level,
            .composedMessage = std::string(entry.message()),
            .privateRanges = entry.privateRanges(),
        });
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
    std::vector<Stored> ordered;
    const std::size_t kept = std::min(ring_.size(), capacity);
    ordered.reserve(kept);
    for (std::size_t i = ring_.size() - kept; i < ring_.size(); ++i) {
        ordered.push_back(std::move(ring_[(oldest_ + i) % ring_.size()]));
    }
    ring_ = std::move(ordered);
    oldest_ = 0;
    capacity_ = capacity;
}

}  // namespace Platform

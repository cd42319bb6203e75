#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/log/LogEntry.h"

namespace Platform {

namespace detail {
struct LogSource;
}

// The newest log entries of the process, kept in a bounded ring so a chatty
// component cannot exhaust memory. Safe from any thread.
class QUILLO_EXPORT LogStore {
public:
    static constexpr std::size_t defaultCapacity = 10'000;

    explicit LogStore(std::size_t capacity = defaultCapacity) : capacity_(capacity) {}
    LogStore(const LogStore&) = delete;
    LogStore& operator=(const LogStore&) = delete;

    static LogStore& shared();

    // Drops the oldest entry when full; a capacity of 0 keeps nothing.
    void append(LogEntry entry);
    // Oldest first; only entries dated at or after `since` when given.
    std::vector<LogEntry> entries(std::optional<Date> since = {}) const;
    void clear();

    std::size_t capacity() const;
    // Keeps the newest entries that fit.
    void setCapacity(std::size_t capacity);

    // Also writes each appended entry to stderr as one line:
    // "[date] [subsystem:category] [Level] message", private values redacted. Off by
    // default.
    void setStderrSink(bool enabled) noexcept { stderrSink_.store(enabled, std::memory_order_relaxed); }
    bool stderrSink() const noexcept { return stderrSink_.load(std::memory_order_relaxed); }

    // Also sends each appended entry to the systemd journal, private values redacted,
    // with the fields QUILLO_SUBSYSTEM, QUILLO_CATEGORY and QUILLO_LEVEL ("Debug"...
    // "Fault") and the matching PRIORITY. Off by default; the host switches it on.
    void setJournalSink(bool enabled) noexcept { journalSink_.store(enabled, std::memory_order_relaxed); }
    bool journalSink() const noexcept { return journalSink_.load(std::memory_order_relaxed); }

private:
    friend class Logger;

    // An entry as the ring keeps it: the writer's names shared with its other entries,
    // the message and its private ranges in one block of their exact size.
    class Stored {
    public:
        Stored() = default;
        Stored(Date date, std::shared_ptr<const detail::LogSource> source, int processIdentifier, LogLevel level,
               std::string_view message, std::span<const LogTextRange> privateRanges);

        Date date;
        std::shared_ptr<const detail::LogSource> source;
        int processIdentifier = 0;
        LogLevel level = LogLevel::info;

        std::string_view message() const noexcept { return {bytes_.get(), messageLength_}; }
        std::vector<LogTextRange> privateRanges() const;

    private:
        std::unique_ptr<char[]> bytes_;
        std::size_t messageLength_ = 0;
        std::uint32_t privateRangeCount_ = 0;
    };

    void append(Stored entry);
    // Takes `entry`'s place in the ring and leaves it the entry pushed out, if any.
    void storeLocked(Stored& entry);
    std::vector<LogEntry> orderedLocked(std::optional<Date> since) const;

    mutable std::mutex mutex_;
    std::vector<Stored> ring_;
    std::size_t oldest_ = 0;  // index of the oldest entry once the ring is full
    std::size_t capacity_;
    std::atomic<bool> stderrSink_{false};
    std::atomic<bool> journalSink_{false};
};

}  // namespace Platform

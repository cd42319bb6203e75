#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace Platform {
class Progress;
}

namespace QuilloCli {

// Where a transfer stands, as the bar shows it.
struct ProgressState {
    std::int64_t done = 0;
    // Absent while the size is not known yet.
    std::optional<std::int64_t> total;
    // Bytes per second; absent until there is enough to tell.
    std::optional<double> rate;
};

// "1.2 MiB/s"; "-" when unknown.
[[nodiscard]] std::string formatRate(std::optional<double> bytesPerSecond);
// "0:07", "12:34", "1:02:03"; "--:--" when it cannot be told.
[[nodiscard]] std::string formatDuration(std::optional<double> seconds);
// Seconds left at the current rate; absent without a total or a rate.
[[nodiscard]] std::optional<double> estimatedSecondsLeft(const ProgressState& state);
// One line of `width` columns at most (the label is shortened first):
// "name  [=========>          ]  45%  1.2 MiB/2.6 MiB  350.0 KiB/s  ETA 0:04"
[[nodiscard]] std::string formatProgressLine(const std::string& label, const ProgressState& state, std::size_t width);

// Draws a transfer's progress in place on a terminal, at most ten times a second;
// draws nothing when the stream is not a terminal. Not thread-safe: one feeder.
class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds redrawInterval{100};

    ProgressBar(std::FILE* stream, std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Redraws when the last redraw is at least redrawInterval old.
    void update(std::int64_t done, std::optional<std::int64_t> total);
    // Reads a task's byte counts.
    void update(const Platform::Progress& progress);
    // Draws the final state and ends the line.
    void finish();

private:
    void draw();

    std::FILE* stream_;
    std::string label_;
    bool enabled_;
    bool finished_ = false;
    Clock::time_point start_ = Clock::now();
    std::optional<Clock::time_point> lastDraw_;
    ProgressState state_;
};

}  // namespace QuilloCli

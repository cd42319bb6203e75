#include "tools/quillo/ProgressBar.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "Platform/core/Progress.h"
#include "tools/quillo/Output.h"

namespace QuilloCli {

namespace {

constexpr std::size_t defaultWidth = 80;
// The narrowest bar worth drawing between the brackets.
constexpr std::size_t minimumBar = 10;
// A rate over less time than this swings too much to show.
constexpr double minimumRateSeconds = 0.5;

std::size_t terminalWidth(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return defaultWidth;
}

}  // namespace

std::string formatRate(std::optional<double> bytesPerSecond) {
    if (!bytesPerSecond || !std::isfinite(*bytesPerSecond) || *bytesPerSecond < 0) return "-";
    return humanSize(static_cast<std::int64_t>(std::llround(*bytesPerSecond))) + "/s";
}

std::string formatDuration(std::optional<double> seconds) {
    // Beyond 100 hours the estimate means nothing.
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds >= 360000) return "--:--";
    const auto whole = static_cast<std::int64_t>(std::ceil(*seconds));
    const auto hours = whole / 3600;
    const auto minutes = whole / 60 % 60;
    const auto rest = whole % 60;
    return hours > 0 ? fmt::format("{}:{:02}:{:02}", hours, minutes, rest) : fmt::format("{}:{:02}", minutes, rest);
}

std::optional<double> estimatedSecondsLeft(const ProgressState& state) {
    if (!state.total || !state.rate || *state.rate <= 0) return std::nullopt;
    const auto left = std::max<std::int64_t>(0, *state.total - state.done);
    return static_cast<double>(left) / *state.rate;
}

std::string formatProgressLine(const std::string& label, const ProgressState& state, std::size_t width) {
    const bool known = state.total && *state.total > 0;
    const double fraction = known ? std::clamp(static_cast<double>(state.done) / static_cast<double>(*state.total), 0.0, 1.0)
                                  : 0.0;
    const auto percent = known ? fmt::format("{:3}%", static_cast<int>(std::floor(fraction * 100))) : std::string("  ?%");
    const auto amount = known ? humanSize(state.done) + "/" + humanSize(*state.total) : humanSize(state.done);
    const auto tail = fmt::format("  {}  {}  {}  ETA {}", percent, amount, formatRate(state.rate),
                                  formatDuration(estimatedSecondsLeft(state)));
    // The label gives way first, then the bar; the figures always show.
    const std::size_t room = width > tail.size() + minimumBar + 2 ? width - tail.size() - 2 : minimumBar;
    std::string name = label;
    const std::size_t labelRoom = room > minimumBar + 2 ? room - minimumBar - 2 : 0;
    if (name.size() > labelRoom) name = labelRoom > 3 ? name.substr(0, labelRoom - 3) + "..." : std::string();
    const std::size_t bar = std::max(minimumBar, room - (name.empty() ? 0 : name.size() + 2));
    const auto filled = static_cast<std::size_t>(std::floor(fraction * static_cast<double>(bar)));
    std::string meter(bar, ' ');
    std::fill_n(meter.begin(), filled, '=');
    if (filled < bar && filled > 0) meter[filled - 1] = '>';
    return (name.empty() ? std::string() : name + "  ") + "[" + meter + "]" + tail;
}

ProgressBar::ProgressBar(std::FILE* stream, std::string label)
    : stream_(stream), label_(std::move(label)), enabled_(::isatty(::fileno(stream)) != 0) {}

ProgressBar::~ProgressBar() {
    if (enabled_ && !finished_ && lastDraw_) std::fputc('\n', stream_);
}

void ProgressBar::update(std::int64_t done, std::optional<std::int64_t> total) {
    const auto now = Clock::now();
    state_.done = done;
    state_.total = total;
    const std::chrono::duration<double> elapsed = now - start_;
    if (elapsed.count() >= minimumRateSeconds) state_.rate = static_cast<double>(done) / elapsed.count();
    if (!enabled_ || (lastDraw_ && now - *lastDraw_ < redrawInterval)) return;
    lastDraw_ = now;
    draw();
}

void ProgressBar::update(const Platform::Progress& progress) {
    const auto total = progress.totalUnitCount();
    update(progress.completedUnitCount(), total > 0 ? std::optional<std::int64_t>(total) : std::nullopt);
}

void ProgressBar::finish() {
    if (finished_) return;
    finished_ = true;
    if (!enabled_) return;
    draw();
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

void ProgressBar::draw() {
    // Back to the line's start and clear it, so a shorter line leaves nothing behind.
    const auto line = formatProgressLine(label_, state_, terminalWidth(stream_) - 1);
    std::fprintf(stream_, "\r\x1b[2K%s", line.c_str());
    std::fflush(stream_);
}

}  // namespace QuilloCli

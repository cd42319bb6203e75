#include "tools/quillo/Output.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include <fmt/format.h>
#include <unistd.h>

#include "Platform/time/ISO8601DateFormatter.h"

namespace QuilloCli {

namespace {

constexpr std::string_view bold = "\x1b[1m";
constexpr std::string_view reset = "\x1b[0m";

// Columns are measured in code points so names in Japanese stay roughly aligned.
std::size_t displayWidth(const std::string& text) {
    std::size_t count = 0;
    for (const unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string padded(const std::string& text, std::size_t width, Alignment alignment) {
    const auto used = displayWidth(text);
    const std::string fill(width > used ? width - used : 0, ' ');
    return alignment == Alignment::left ? text + fill : fill + text;
}

}  // namespace

std::string humanSize(std::int64_t bytes) {
    if (bytes < 0) return "-";
    static constexpr std::array<const char*, 6> units{"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) return fmt::format("{} B", bytes);
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    // Round first, so 1023.96 KiB shows as "1.0 MiB" rather than "1024.0 KiB".
    while (unit + 1 < units.size() && std::round(value * 10) / 10 >= 1024) {
        value /= 1024;
        ++unit;
    }
    return fmt::format("{:.1f} {}", value, units[unit]);
}

std::string humanDate(const std::optional<Platform::Date>& date) {
    if (!date) return "-";
    const auto seconds = static_cast<std::time_t>(std::floor(date->timeIntervalSince1970));
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return "-";
    std::array<char, 32> text{};
    const auto length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M", &local);
    return std::string(text.data(), length);
}

nlohmann::json jsonDate(const std::optional<Platform::Date>& date) {
    if (!date) return nullptr;
    return Platform::ISO8601DateFormatter::withFractionalSeconds().string(*date);
}

void Table::addRow(std::vector<std::string> cells) {
    cells.resize(columns_.size());
    rows_.push_back(std::move(cells));
}

std::string Table::render(Colour colour) const {
    std::vector<std::size_t> widths;
    for (const auto& column : columns_) widths.push_back(displayWidth(column.title));
    for (const auto& row : rows_) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], displayWidth(row[i]));
    }
    const auto renderRow = [&](const auto& cellOf) {
        std::string line;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            // The last left-aligned column needs no trailing blanks.
            const bool last = i + 1 == columns_.size();
            const auto cell = cellOf(i);
            line += last && columns_[i].alignment == Alignment::left ? cell : padded(cell, widths[i], columns_[i].alignment);
            if (!last) line += "  ";
        }
        return line + "\n";
    };
    std::string text;
    const auto header = renderRow([&](std::size_t i) { return columns_[i].title; });
    text += colour == Colour::always ? fmt::format("{}{}{}\n", bold, header.substr(0, header.size() - 1), reset) : header;
    for (const auto& row : rows_) text += renderRow([&](std::size_t i) { return row[i]; });
    return text;
}

Colour Output::colourFor(std::FILE* stream, OutputFormat format) {
    if (format == OutputFormat::json) return Colour::never;
    if (const char* noColour = std::getenv("NO_COLOR"); noColour != nullptr) return Colour::never;
    return ::isatty(::fileno(stream)) ? Colour::always : Colour::never;
}

void Output::json(const nlohmann::json& document) const {
    // Replace rather than throw on names that are not valid UTF-8.
    const auto text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out_, "%s\n", text.c_str());
}

void Output::table(const Table& table) const {
    const auto text = table.render(colour_);
    std::fputs(text.c_str(), out_);
}

void Output::fields(const std::vector<std::pair<std::string, std::string>>& fields) const {
    std::size_t width = 0;
    for (const auto& [name, value] : fields) width = std::max(width, displayWidth(name) + 1);
    for (const auto& [name, value] : fields) {
        const auto label = padded(name + ":", width, Alignment::left);
        if (colour_ == Colour::always) {
            std::fprintf(out_, "%s%s%s  %s\n", bold.data(), label.c_str(), reset.data(), value.c_str());
        } else {
            std::fprintf(out_, "%s  %s\n", label.c_str(), value.c_str());
        }
    }
}

void Output::line(const std::string& text) const { std::fprintf(out_, "%s\n", text.c_str()); }

}  // namespace QuilloCli

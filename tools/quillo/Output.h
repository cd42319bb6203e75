#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/time/Date.h"

namespace QuilloCli {

enum class OutputFormat { table, json };
enum class Colour { never, always };
enum class Alignment { left, right };

// "0 B", "999 B", "1.0 KiB", "12.3 MiB": binary units, one decimal from KiB up.
[[nodiscard]] std::string humanSize(std::int64_t bytes);
// Local time, "2024-05-02 19:00"; "-" when absent.
[[nodiscard]] std::string humanDate(const std::optional<Platform::Date>& date);
// ISO 8601 with fractional seconds for scripts; null when absent.
[[nodiscard]] nlohmann::json jsonDate(const std::optional<Platform::Date>& date);

// Columns sized to their widest cell; the header is bold when colour is on.
class Table {
public:
    struct Column {
        std::string title;
        Alignment alignment = Alignment::left;
    };
    explicit Table(std::vector<Column> columns) : columns_(std::move(columns)) {}
    void addRow(std::vector<std::string> cells);
    [[nodiscard]] std::string render(Colour colour) const;

private:
    std::vector<Column> columns_;
    std::vector<std::vector<std::string>> rows_;
};

// Where a command's answer goes: a table or key list for people, one JSON document for scripts.
class Output {
public:
    Output(OutputFormat format, Colour colour, std::FILE* out = stdout) : format_(format), colour_(colour), out_(out) {}

    // Colour only on a terminal, and never with NO_COLOR set.
    static Colour colourFor(std::FILE* stream, OutputFormat format);

    OutputFormat format() const noexcept { return format_; }
    bool isJSON() const noexcept { return format_ == OutputFormat::json; }
    Colour colour() const noexcept { return colour_; }

    void json(const nlohmann::json& document) const;
    void table(const Table& table) const;
    // "Name:  value" lines with the names aligned.
    void fields(const std::vector<std::pair<std::string, std::string>>& fields) const;
    void line(const std::string& text) const;

private:
    OutputFormat format_;
    Colour colour_;
    std::FILE* out_;
};

}  // namespace QuilloCli

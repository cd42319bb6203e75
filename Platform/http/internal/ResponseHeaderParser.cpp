#include "Platform/http/internal/ResponseHeaderParser.h"

#include <limits>

#include "Platform/core/ASCII.h"

namespace Platform::detail {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "HTTP/1.1 200 OK", "HTTP/2 204": the three digits after the version.
long parseStatus(std::string_view line) {
    const auto space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) return 0;
    const std::string_view digits = line.substr(space + 1, 3);
    if (!isDigit(digits[0]) || !isDigit(digits[1]) || !isDigit(digits[2])) return 0;
    if (line.size() > space + 4 && isDigit(line[space + 4])) return 0;
    return (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
}

// Digits only; anything else (a sign, a list) is no length. Too many digits saturate.
std::optional<std::uint64_t> parseLength(std::string_view value) {
    if (value.empty()) return std::nullopt;
    std::uint64_t length = 0;
    constexpr auto largest = std::numeric_limits<std::uint64_t>::max();
    for (char c : value) {
        if (!isDigit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        length = length > (largest - digit) / 10 ? largest : length * 10 + digit;
    }
    return length;
}

}  // namespace

void ResponseHeaderParser::reset() noexcept {
    state_ = State::awaitingStatus;
    blockCount_ = 0;
    blockLength_ = 0;
    lineCount_ = 0;
    statusCode_ = 0;
    fields_.clear();
    contentLength_.reset();
    hasTransferCoding_ = false;
    hasContentCoding_ = false;
    hasLocation_ = false;
    refusal_.clear();
}

std::optional<std::uint64_t> ResponseHeaderParser::contentLength() const noexcept {
    // A transfer coding frames the body itself; a length beside it is to be ignored.
    return hasTransferCoding_ ? std::nullopt : contentLength_;
}

ResponseHeaderParser::Line ResponseHeaderParser::refuse(std::string why) {
    state_ = State::refused;
    fields_.clear();
    refusal_ = std::move(why);
    return Line::refused;
}

ResponseHeaderParser::Line ResponseHeaderParser::receive(std::string_view line) {
    if (state_ == State::refused) return Line::refused;
    if (line.size() > limits_.maximumLineLength) {
        return refuse("a header line of " + std::to_string(line.size()) + " bytes is longer than " +
                      std::to_string(limits_.maximumLineLength));
    }
    if (line.find('\0') != std::string_view::npos) return refuse("a header line holds a NUL byte");

    // Each response (interim, redirect, final) starts with its status line.
    if (line.starts_with("HTTP/")) {
        if (++blockCount_ > limits_.maximumBlockCount) {
            return refuse("more than " + std::to_string(limits_.maximumBlockCount) + " responses in one exchange");
        }
        state_ = State::inBlock;
        blockLength_ = line.size();
        lineCount_ = 0;
        statusCode_ = parseStatus(line);
        fields_.clear();
        contentLength_.reset();
        hasTransferCoding_ = false;
        hasContentCoding_ = false;
        hasLocation_ = false;
        return Line::statusLine;
    }

    blockLength_ += line.size();
    if (blockLength_ > limits_.maximumBlockLength) {
        return refuse("the header block is longer than " + std::to_string(limits_.maximumBlockLength) + " bytes");
    }
    const std::string_view content = trim(line);
    if (state_ != State::inBlock) {
        // Trailers (and anything before a status line) never reach the fields, but count.
        if (!content.empty() && ++lineCount_ > limits_.maximumFieldCount) {
            return refuse("more than " + std::to_string(limits_.maximumFieldCount) + " trailer lines");
        }
        return Line::trailer;
    }
    if (content.empty()) {
        state_ = statusCode_ >= 100 && statusCode_ < 200 ? State::afterInterimBlock : State::afterFinalBlock;
        blockLength_ = 0;
        lineCount_ = 0;
        return Line::endOfBlock;
    }
    if ((line.front() == ' ' || line.front() == '\t') && !fields_.empty()) {
        // Obsolete line folding continues the previous field.
        fields_.back().second += ' ';
        fields_.back().second += content;
        return Line::field;
    }
    const auto colon = content.find(':');
    if (colon == std::string_view::npos || colon == 0) return Line::field;
    if (++lineCount_ > limits_.maximumFieldCount) {
        return refuse("more than " + std::to_string(limits_.maximumFieldCount) + " header fields");
    }
    const std::string_view name = trim(content.substr(0, colon));
    const std::string_view value = trim(content.substr(colon + 1));
    if (name.empty()) return Line::field;
    noteField(name, value);
    fields_.emplace_back(name, value);
    return Line::field;
}

void ResponseHeaderParser::noteField(std::string_view name, std::string_view value) {
    if (equalsIgnoringASCIICase(name, "Content-Length")) {
        contentLength_ = parseLength(value);
    } else if (equalsIgnoringASCIICase(name, "Transfer-Encoding")) {
        hasTransferCoding_ = hasTransferCoding_ || !value.empty();
    } else if (equalsIgnoringASCIICase(name, "Content-Encoding")) {
        hasContentCoding_ = hasContentCoding_ || (!value.empty() && !equalsIgnoringASCIICase(value, "identity"));
    } else if (equalsIgnoringASCIICase(name, "Location")) {
        hasLocation_ = true;
    }
}

}  // namespace Platform::detail

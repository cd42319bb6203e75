#pragma once

// Internal to URLSession: the header lines of one attempt, as libcurl hands them over,
// read into the fields of the response under way within fixed bounds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform::detail {

struct ResponseHeaderLimits {
    // libcurl refuses a line past 100 KiB with "out of memory"; below that we decide.
    std::size_t maximumLineLength = 64 * 1024;
    // One response's status line and fields, or the trailers after its body.
    std::size_t maximumBlockLength = 256 * 1024;
    std::size_t maximumFieldCount = 1000;
    // Status lines in one attempt: interim answers and followed redirects included.
    std::size_t maximumBlockCount = 64;
};

class ResponseHeaderParser {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    enum class Line {
        statusLine,  // a response starts: its fields start afresh
        field,       // a field, a folded continuation, or a line without a name (dropped)
        endOfBlock,  // the blank line after a response's fields
        trailer,     // after the header block (trailers of a chunked body): kept out of the fields
        refused,     // past a bound or malformed; refusal() says why, and every later line is refused
    };

    explicit ResponseHeaderParser(ResponseHeaderLimits limits = {}) noexcept : limits_(limits) {}

    // A new attempt: forgets everything.
    void reset() noexcept;
    // One line with its line ending.
    [[nodiscard]] Line receive(std::string_view line);

    const ResponseHeaderLimits& limits() const noexcept { return limits_; }
    // The current response's status, or 0 when its status line has none.
    long statusCode() const noexcept { return statusCode_; }
    const Fields& fields() const noexcept { return fields_; }
    [[nodiscard]] Fields takeFields() noexcept { return std::exchange(fields_, {}); }
    // The current response's Content-Length when it is a number and no transfer coding
    // overrides it; a number past 64 bits reads as the largest one.
    std::optional<std::uint64_t> contentLength() const noexcept;
    // Whether the body is sent in a content coding (gzip...): its length then says
    // nothing about the decoded size.
    bool hasContentCoding() const noexcept { return hasContentCoding_; }
    bool hasLocation() const noexcept { return hasLocation_; }
    // The header block of a final (not 1xx) response has ended.
    bool isComplete() const noexcept { return state_ == State::afterFinalBlock; }
    bool isRefused() const noexcept { return state_ == State::refused; }
    const std::string& refusal() const noexcept { return refusal_; }

private:
    enum class State { awaitingStatus, inBlock, afterInterimBlock, afterFinalBlock, refused };

    Line refuse(std::string why);
    void noteField(std::string_view name, std::string_view value);

    ResponseHeaderLimits limits_;
    State state_ = State::awaitingStatus;
    std::size_t blockCount_ = 0;
    std::size_t blockLength_ = 0;
    std::size_t lineCount_ = 0;  // fields, or trailer lines after the block
    long statusCode_ = 0;
    Fields fields_;
    std::optional<std::uint64_t> contentLength_;
    bool hasTransferCoding_ = false;
    bool hasContentCoding_ = false;
    bool hasLocation_ = false;
    std::string refusal_;
};

}  // namespace Platform::detail

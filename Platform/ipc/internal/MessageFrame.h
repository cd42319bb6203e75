#pragma once

// Frames on a message socket:
//
//   u32 length (big-endian, of everything after it) | u8 version << 4 | kind | u64 call id | archive
//
// A call and its reply carry the same id. Anything else ends the connection.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Platform::detail {

inline constexpr std::uint8_t kFrameVersion = 1;
inline constexpr std::size_t kFrameLengthBytes = 4;
inline constexpr std::size_t kFrameFixedBytes = 1 + 8;  // kind byte and call id
// Far above any transfer list or log path; an archive this size would be a fault.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{4} << 20;

enum class FrameKind : std::uint8_t { call = 1, reply = 2 };

struct Frame {
    FrameKind kind = FrameKind::call;
    std::uint64_t callID = 0;
    std::string payload;
};

// Throws IPCError (malformedMessage) for a payload over the bound.
std::string encodeFrame(const Frame& frame);

// Cuts frames out of the bytes of a stream as they arrive.
class FrameReader {
public:
    void append(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole frame, none until one has arrived. Throws IPCError (malformedMessage)
    // for a length outside the bounds, another version or an unknown kind.
    std::optional<Frame> next();
    // Bytes of an unfinished frame are waiting: a stream ending now was cut short.
    bool midFrame() const noexcept { return consumed_ < buffer_.size(); }

private:
    std::string buffer_;
    std::size_t consumed_ = 0;
};

}  // namespace Platform::detail

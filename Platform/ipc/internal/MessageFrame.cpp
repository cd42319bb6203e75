#include "Platform/ipc/internal/MessageFrame.h"

#include "Platform/ipc/IPCError.h"

namespace Platform::detail {

namespace {

void putBigEndian(std::string& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = bytes; i-- > 0;) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t getBigEndian(std::string_view in, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[i]);
    return value;
}

[[noreturn]] void malformed(const std::string& why) { throw IPCError(IPCError::Code::malformedMessage, why); }

}  // namespace

std::string encodeFrame(const Frame& frame) {
    const std::size_t length = kFrameFixedBytes + frame.payload.size();
    if (length > kMaxFrameBytes) malformed("message of " + std::to_string(frame.payload.size()) + " bytes is too large");
    std::string out;
    out.reserve(kFrameLengthBytes + length);
    putBigEndian(out, length, kFrameLengthBytes);
    out.push_back(static_cast<char>((kFrameVersion << 4) | static_cast<std::uint8_t>(frame.kind)));
    putBigEndian(out, frame.callID, 8);
    out += frame.payload;
    return out;
}

std::optional<Frame> FrameReader::next() {
    const std::string_view pending = std::string_view(buffer_).substr(consumed_);
    if (pending.size() < kFrameLengthBytes) return std::nullopt;
    const std::uint64_t length = getBigEndian(pending, kFrameLengthBytes);
    // Checked before waiting for the body, so a huge length is refused at once.
    if (length < kFrameFixedBytes || length > kMaxFrameBytes) malformed("frame length " + std::to_string(length));
    if (pending.size() < kFrameLengthBytes + length) return std::nullopt;

    const auto head = static_cast<std::uint8_t>(pending[kFrameLengthBytes]);
    const std::uint8_t kind = head & 0x0f;
    if ((head >> 4) != kFrameVersion) malformed("frame version " + std::to_string(head >> 4));
    if (kind != static_cast<std::uint8_t>(FrameKind::call) && kind != static_cast<std::uint8_t>(FrameKind::reply)) {
        malformed("frame kind " + std::to_string(kind));
    }
    Frame frame{.kind = static_cast<FrameKind>(kind),
                .callID = getBigEndian(pending.substr(kFrameLengthBytes + 1), 8),
                .payload = std::string(pending.substr(kFrameLengthBytes + kFrameFixedBytes, length - kFrameFixedBytes))};
    consumed_ += kFrameLengthBytes + length;
    // Drop what was read once it is most of the buffer, so the buffer does not grow forever.
    if (consumed_ == buffer_.size() || consumed_ > buffer_.size() / 2) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    return frame;
}

}  // namespace Platform::detail

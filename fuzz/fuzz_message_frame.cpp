// Arbitrary bytes as a message stream, cut at every size the first byte picks: frames come
// out whole and within bounds, or the reader throws IPCError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Common/local/ExtensionServiceChannel.h"
#include "Platform/ipc/IPCError.h"
#include "Platform/ipc/internal/MessageFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = data[0] % 32 + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    Platform::detail::FrameReader reader;
    try {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.append(stream.substr(at, chunk));
            while (auto frame = reader.next()) {
                if (frame->payload.size() > Platform::detail::kMaxFrameBytes) std::abort();
                // What the listener does with a call.
                try {
                    (void)Common::extensionServiceInterface().check(frame->payload, Platform::MessageDirection::call);
                } catch (const Platform::IPCError&) {
                }
                if (Platform::detail::encodeFrame(*frame).size() !=
                    frame->payload.size() + Platform::detail::kFrameLengthBytes + Platform::detail::kFrameFixedBytes) {
                    std::abort();
                }
            }
        }
    } catch (const Platform::IPCError&) {
    }
    return 0;
}

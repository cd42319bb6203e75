// Arbitrary bytes as a transfer, a list of transfers and a service reply: the only ways
// to fail are ArchiveError and IPCError, and a decoded transfer holds four strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Common/local/ExtensionServiceChannel.h"
#include "Common/local/internal/ExtensionServiceMessages.h"
#include "Platform/ipc/IPCError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (const auto transfer = Platform::KeyedUnarchiver::unarchivedObject<Common::Transfer>(bytes)) {
            const auto again = Platform::KeyedUnarchiver::unarchivedObject<Common::Transfer>(
                Platform::KeyedArchiver::archivedData(*transfer, true));
            if (!again || again->transferID() != transfer->transferID() || again->action() != transfer->action()) {
                std::abort();
            }
        }
    } catch (const Platform::ArchiveError&) {
    }
    try {
        (void)Platform::KeyedUnarchiver::unarchivedArrayOfObjects<Common::Transfer>(bytes);
    } catch (const Platform::ArchiveError&) {
    }
    try {
        (void)Common::extensionServiceInterface().check(bytes, Platform::MessageDirection::reply);
        (void)Platform::KeyedUnarchiver::unarchivedObject<Common::detail::ServiceReply>(bytes);
    } catch (const Platform::ArchiveError&) {
    } catch (const Platform::IPCError&) {
    }
    return 0;
}

// Arbitrary bytes as the identity records: token answers, users, enterprises, device
// secrets and name-check answers as the service sends them, and the archives the stores
// keep. Only the decoders' own typed errors may come out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Common/auth/Credential.h"
#include "Common/auth/DeviceSecret.h"
#include "Common/auth/TarnEnterprise.h"
#include "Common/auth/TarnKnockParameter.h"
#include "Common/auth/TarnUser.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/json/JSONDecoder.h"

namespace {

template <class T, class Use>
void decodeJSON(const std::string& bytes, Use use) {
    try {
        use(Platform::JSONDecoder::forAPIResponse().decode<T>(bytes));
    } catch (const Platform::DecodingError&) {
    }
}

template <class T, class Use>
void unarchive(const std::string& bytes, bool secure, Use use) {
    try {
        if (auto object = Platform::KeyedUnarchiver::unarchiveTopLevelObject<T>(bytes, secure)) use(*object);
    } catch (const Platform::ArchiveError&) {
    }
}

// Whatever decodes must archive and read back as itself.
template <class T>
void roundTrip(const T& value) {
    const auto bytes = Platform::KeyedArchiver::archivedData(value, T::supportsSecureCoding);
    const auto back = Platform::KeyedUnarchiver::unarchiveTopLevelObject<T>(bytes, T::supportsSecureCoding);
    if (!back || !(*back == value)) __builtin_trap();
}

void check(const std::string& bytes) {
    decodeJSON<Common::Credential>(bytes, [](const auto& c) { roundTrip(c); });
    decodeJSON<Common::TarnUser>(bytes, [](const auto& u) { roundTrip(u); });
    decodeJSON<Common::DeviceSecret>(bytes, [](const auto& s) { (void)s.description(); });
    decodeJSON<Common::TarnEnterprise>(bytes, [](const auto& e) { (void)e.storageType(); });
    decodeJSON<Common::TarnKnockResult>(bytes, [](const auto& k) { (void)k.itemExists(); });
    for (const bool secure : {true, false}) {
        unarchive<Common::Credential>(bytes, secure, [](const auto& c) { (void)c.isExpired(); });
        unarchive<Common::TarnUser>(bytes, secure, [](const auto& u) { (void)u.isVisitor(); });
        unarchive<Common::DeviceSecret>(bytes, secure, [](const auto& s) { (void)s.description(); });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    check(input);
    // Inside well-formed answers the bytes reach the members too.
    check(R"({"access_token":"a","token_type":"t","refresh_token":"r","login":"l","email":)" + input + "}");
    check(R"({"id":1,"account_id":2,"role":)" + input + "}");
    check(R"({"code":"c","info":)" + input + "}");
    return 0;
}

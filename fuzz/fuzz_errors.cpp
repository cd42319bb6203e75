// Arbitrary bytes as the body of an error answer: reading the reason, the structured
// body and the message must never crash, whatever the server sent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Common/connection/RailsError.h"

namespace {

void check(Platform::Data body) {
    const auto error = Common::RailsError::httpError(Common::HTTPStatusCode::unauthorized, std::move(body));
    if (auto reason = error.reason()) (void)Common::isDeviceRestriction(*reason);
    if (auto decoded = error.body()) (void)decoded->message.size();
    // "Error status 401", then, for a text body, a blank and the body itself in full.
    const auto description = error.errorDescription().value_or("");
    const auto prefix = std::string("Error status 401");
    if (description.compare(0, prefix.size(), prefix) != 0) __builtin_trap();
    if (description.size() > prefix.size() && description.substr(prefix.size() + 1) != *error.responseData()) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    check(input);
    // Inside a well-formed body the bytes reach the record's optional members too.
    check(R"({"type":"t","status":401,"code":"c","message":"m","info":)" + input + "}");
    return 0;
}

// A program outside the project, built only against the installed headers and libraries.
#include <cstdint>
#include <cstdio>
#include <string>

#include "Common/QuilloCommonVersion.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/QuilloBackend.h"
#include "Platform/core/Result.h"
#include "Platform/json/JSONDecoder.h"

namespace {

// A record of the host's own, read by the library's decoding templates.
struct Folder {
    std::int64_t itemId;
    std::string name;
    static Folder decode(const Platform::KeyedDecoder& c) {
        return {c.decode<std::int64_t>("itemId"), c.decode<std::string>("name")};
    }
};

}  // namespace

int main() {
    int failures = 0;
    auto check = [&failures](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "consumer: FAILED %s\n", what);
            ++failures;
        }
    };

    check(std::string(QUILLO_COMMON_VERSION_STRING) == EXPECTED_VERSION, "version header");

    const Common::QuilloBackend production(Common::QuilloBackend::Domain::production);
    const auto base = production.baseURL();
    check(base && base->absoluteString().starts_with("https://api."), "baseURL");

    // Thrown inside the library, caught here by type: the typeinfo crosses the boundary.
    try {
        Common::QuilloBackend unknown("no-such-environment");
        check(false, "unknown environment accepted");
    } catch (const Common::CommonError& error) {
        check(error.code() == Common::CommonError::Code::unrecognizedEnvironment, "error code");
        const auto description = error.errorDescription();
        check(description && description->find("no-such-environment") != std::string::npos, "error message");
    } catch (...) {
        check(false, "error lost its type");
    }

    const auto result = Platform::Result<int>::failure(Common::CommonError::timedOut());
    check(result.error<Common::CommonError>() != nullptr, "Result keeps the error type");
    try {
        (void)result.value();
        check(false, "Result without value returned one");
    } catch (const Platform::Error& error) {
        check(std::string(error.what()).size() > 0, "Result rethrows a described error");
    }

    const auto decoder = Platform::JSONDecoder::forAPIResponse();
    const auto folder = decoder.decode<Folder>(R"({"item_id": 7, "name": "Design"})");
    check(folder.itemId == 7 && folder.name == "Design", "decoded record");
    try {
        (void)decoder.decode<Folder>(R"({"item_id": "7")");
        check(false, "malformed JSON decoded");
    } catch (const Platform::DecodingError&) {
    }

    if (failures == 0) {
        std::printf("consumer: %s, %s\n", QUILLO_COMMON_VERSION_STRING, base->absoluteString().c_str());
    }
    return failures == 0 ? 0 : 1;
}

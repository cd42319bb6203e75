#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Common/connection/APIParameter.h"
#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

struct QUILLO_EXPORT TarnKnockResultInfo {
    // The name the service proposes instead.
    std::string newName;

    static TarnKnockResultInfo decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnKnockResultInfo&) const = default;
};

// The answer of the upload name check.
struct QUILLO_EXPORT TarnKnockResult {
    std::optional<std::string> code;
    std::optional<TarnKnockResultInfo> info;

    // A code other than "item_exists_error"; false without a code.
    bool itemExists() const { return code && *code != "item_exists_error"; }

    static TarnKnockResult decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnKnockResult&) const = default;
};

namespace WebService {

// Before an upload: is this name free in the folder?
struct QUILLO_EXPORT TarnKnockParameter : APIEndpoint<TarnKnockParameter, TarnKnockResult> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/items/knock";

    // Query: size, knock_id ("01" sent as "0"), type=file, api_version=6, and the
    // percent-encoded name (left out when the name cannot be encoded).
    TarnKnockParameter(std::string_view name, std::uint64_t size, std::string_view parentItemIdentifier);
};

}  // namespace WebService
}  // namespace Common

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// An entry's version: content and metadata stamps, each whole seconds since 1970.
struct QUILLO_EXPORT Version {
    std::int64_t content = 0;
    std::int64_t metadata = 0;

    static const Version zero;

    // Each date as whole seconds since 1970, the fraction cut off toward zero; an
    // absent date gives 0. Dates beyond the 64-bit range clamp to its ends, NaN gives 0.
    static Version fromDates(std::optional<Platform::Date> contentDate, std::optional<Platform::Date> metadataDate) noexcept;

    // {"content": n, "metadata": m}
    Platform::Data encoded() const;
    // Throws Platform::DecodingError when the text is not such an object.
    static Version decoded(std::string_view json);
    static Version decode(const Platform::KeyedDecoder& container);

    bool operator==(const Version&) const = default;
};

inline constexpr Version Version::zero{0, 0};

}  // namespace Common

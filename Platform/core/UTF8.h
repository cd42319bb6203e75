#pragma once

#include <string_view>

#include "Platform/core/Export.h"

namespace Platform {

// Strict UTF-8: no truncated sequences, overlong forms, surrogates or code points past
// U+10FFFF.
QUILLO_EXPORT bool isValidUTF8(std::string_view text) noexcept;

}  // namespace Platform

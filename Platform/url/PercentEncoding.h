#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"

namespace Platform {

// Percent-encodes a query name or value: every byte other than letters, digits
// and - . _ ~ ! $ ' ( ) * , ; = : @ / ? becomes "%XX" in upper-case hex, so '+'
// and '&' never read as a blank or a separator. nullopt when the text is not
// valid UTF-8.
[[nodiscard]] QUILLO_EXPORT std::optional<std::string> addingPercentEncoding(std::string_view text);

// Every byte other than ASCII letters, digits and `allowedMarks` as "%XX" (upper case).
QUILLO_EXPORT std::string percentEncoding(std::string_view text, std::string_view allowedMarks);

// Decodes every "%XX"; nullopt for a malformed escape or a result that is not UTF-8.
[[nodiscard]] QUILLO_EXPORT std::optional<std::string> removingPercentEncoding(std::string_view text);

}  // namespace Platform

#pragma once

#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// The translation of `key` in the main bundle's default table for the current locale
// (gettext, text domain = the main bundle's identifier); the key itself when there is
// no translation or no bundle.
QUILLO_EXPORT std::string localizedString(const std::string& key);

}  // namespace Platform

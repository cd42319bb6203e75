#pragma once

#include <map>
#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {

// The application's own record, set by the host at start. Until then there is
// no main bundle.
struct QUILLO_EXPORT Bundle {
    std::string bundleIdentifier;
    std::map<std::string, std::string> infoDictionary;

    // A copy of the current main bundle; safe from any thread.
    static std::optional<Bundle> main();
    static void setMain(std::optional<Bundle> bundle);

    std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const;

    bool operator==(const Bundle&) const = default;
};

}  // namespace Platform

#include "Platform/localization/LocalizedString.h"

#include <libintl.h>

#include "Platform/bundle/Bundle.h"

namespace Platform {

std::string localizedString(const std::string& key) {
    const auto bundle = Bundle::main();
    if (!bundle || bundle->bundleIdentifier.empty() || key.empty()) return key;
    // dgettext hands back its argument when there is no catalogue or no entry.
    const char* translated = ::dgettext(bundle->bundleIdentifier.c_str(), key.c_str());
    return translated ? std::string(translated) : key;
}

}  // namespace Platform

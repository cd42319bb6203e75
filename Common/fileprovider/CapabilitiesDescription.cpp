#include "Common/fileprovider/CapabilitiesDescription.h"

#include <cstdint>
#include <string_view>
#include <utility>

namespace Common {

std::string description(Platform::FileProviderItemCapabilities capabilities) {
    using Caps = Platform::FileProviderItemCapabilities;
    // The folder names are aliases of single bits, so a set holding those bits lists them twice.
    static constexpr std::pair<std::uint32_t, std::string_view> names[] = {
        {Caps::allowsReading, ".allowsReading"},
        {Caps::allowsWriting, ".allowsWriting"},
        {Caps::allowsReparenting, ".allowsReparenting"},
        {Caps::allowsRenaming, ".allowsRenaming"},
        {Caps::allowsTrashing, ".allowsTrashing"},
        {Caps::allowsDeleting, ".allowsDeleting"},
        {Caps::allowsEvicting, ".allowsEvicting"},
        {Caps::allowsExcludingFromSync, ".allowsExcludingFromSync"},
        {Caps::allowsAddingSubItems, ".allowsAddingSubItems"},
        {Caps::allowsContentEnumerating, ".allowsContentEnumerating"},
    };
    std::string text = "[";
    for (const auto& [bit, name] : names) {
        if (!capabilities.contains(bit)) continue;
        if (text.size() > 1) text += ", ";
        text += name;
    }
    text += ']';
    return text;
}

}  // namespace Common

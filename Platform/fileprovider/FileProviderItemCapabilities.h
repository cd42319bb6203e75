#pragma once

#include <cstdint>

#include "Platform/core/Export.h"

namespace Platform {

// What the file manager may do with an item, as the platform's bit set.
struct QUILLO_EXPORT FileProviderItemCapabilities {
    std::uint32_t rawValue = 0;

    static constexpr std::uint32_t allowsReading = 1;
    static constexpr std::uint32_t allowsWriting = 2;
    static constexpr std::uint32_t allowsReparenting = 4;
    static constexpr std::uint32_t allowsRenaming = 8;
    static constexpr std::uint32_t allowsTrashing = 16;
    static constexpr std::uint32_t allowsDeleting = 32;
    static constexpr std::uint32_t allowsEvicting = 64;
    static constexpr std::uint32_t allowsExcludingFromSync = 128;
    // The same bits under their folder names.
    static constexpr std::uint32_t allowsContentEnumerating = allowsReading;
    static constexpr std::uint32_t allowsAddingSubItems = allowsWriting;

    constexpr bool contains(std::uint32_t bits) const noexcept { return (rawValue & bits) == bits; }
    constexpr bool isEmpty() const noexcept { return rawValue == 0; }
    constexpr bool operator==(const FileProviderItemCapabilities&) const = default;
};

}  // namespace Platform

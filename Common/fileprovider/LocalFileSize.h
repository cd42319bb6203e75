#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "Platform/core/Export.h"
#include "Platform/url/URL.h"

namespace Common {

// The size in bytes of the file at a file URL; symbolic links are followed. Throws
// Platform::FileError fileNoSuchFile (with no user information) when nothing is there
// or the path is a folder, another Platform::FileError when the path cannot be read
// or the URL is no file URL, and CommonError::unexpected for a size that is not a
// byte count.
QUILLO_EXPORT std::uint64_t fileSize(const Platform::URL& fileURL);

// The size of the file at `path`, 0 when the system reports none, nullopt for any
// failure. Never throws.
[[nodiscard]] QUILLO_EXPORT std::optional<std::uint64_t> sizeOfFile(const std::filesystem::path& path) noexcept;

}  // namespace Common

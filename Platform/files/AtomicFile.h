#pragma once

#include <filesystem>
#include <string_view>

#include "Platform/core/Export.h"

namespace Platform {

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it over
// `path`, so readers see the old content or the new one, never a part. Throws FileError;
// The new file has mode 0600. On failure the old file is left as it was and no temporary file remains.
QUILLO_EXPORT void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace Platform

#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "Platform/core/Export.h"

namespace Platform {

// The directory an application group's processes share: <root>/<group identifier>,
// where the root is $XDG_DATA_HOME, else ~/.local/share.
class QUILLO_EXPORT ApplicationGroupContainer {
public:
    // Points every later lookup at another root (tests use a temporary directory).
    // Stores that were already opened keep their files.
    static void setRootDirectory(std::optional<std::filesystem::path> root);
    static std::filesystem::path rootDirectory();

    // The group's directory, created with mode 0700 when missing (and narrowed to 0700
    // when it exists wider). No value when it cannot be created.
    [[nodiscard]] static std::optional<std::filesystem::path> containerURL(std::string_view groupIdentifier);
};

}  // namespace Platform

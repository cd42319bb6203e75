#pragma once

#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// A download ticket: where a file's contents can be fetched. Every field may be
// absent; a ticket without `url` cannot be used (Downloader reports
// RailsError::cannotGetDownloadURL for it).
struct QUILLO_EXPORT Download {
    // Carries its own token: never log it whole.
    std::optional<std::string> url;
    std::optional<std::string> token;
    std::optional<std::string> fid;

    static Download decode(const Platform::KeyedDecoder& container);
    bool operator==(const Download&) const = default;
};

}  // namespace Common

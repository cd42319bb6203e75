#pragma once

#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// The presigned address one part of an upload goes to.
struct QUILLO_EXPORT PresignedURL {
    std::string url;

    static PresignedURL decode(const Platform::KeyedDecoder& container);
    bool operator==(const PresignedURL&) const = default;
};

}  // namespace Common

#pragma once

#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// The storage key of an opened upload; every later request of the upload names it.
struct QUILLO_EXPORT MultiPartUpload {
    std::string s3key;

    static MultiPartUpload decode(const Platform::KeyedDecoder& container);
    bool operator==(const MultiPartUpload&) const = default;
};

}  // namespace Common

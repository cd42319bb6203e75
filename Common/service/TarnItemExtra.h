#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Export.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

// Media metadata of an item; the service fills what it knows.
struct QUILLO_EXPORT TarnItemExtra {
    std::optional<double> duration;
    std::optional<std::int64_t> bitrate;
    std::optional<double> width;
    std::optional<double> height;
    std::optional<std::string> videoCodec;
    std::optional<std::string> colorspace;
    std::optional<std::string> audioCodec;
    std::optional<std::int64_t> audioSampleRate;
    std::optional<std::int64_t> audioChannels;
    std::optional<std::string> subtitles;
    std::optional<std::string> timecode;

    static TarnItemExtra decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnItemExtra&) const = default;
};

}  // namespace Common

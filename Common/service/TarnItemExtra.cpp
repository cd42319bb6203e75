#include "Common/service/TarnItemExtra.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

TarnItemExtra TarnItemExtra::decode(const Platform::KeyedDecoder& c) {
    return {
        .duration = c.decodeIfPresent<double>("duration"),
        .bitrate = c.decodeIfPresent<std::int64_t>("bitrate"),
        .width = c.decodeIfPresent<double>("width"),
        .height = c.decodeIfPresent<double>("height"),
        .videoCodec = c.decodeIfPresent<std::string>("videoCodec"),
        .colorspace = c.decodeIfPresent<std::string>("colorspace"),
        .audioCodec = c.decodeIfPresent<std::string>("audioCodec"),
        .audioSampleRate = c.decodeIfPresent<std::int64_t>("audioSampleRate"),
        .audioChannels = c.decodeIfPresent<std::int64_t>("audioChannels"),
        .subtitles = c.decodeIfPresent<std::string>("subtitles"),
        .timecode = c.decodeIfPresent<std::string>("timecode"),
    };
}

}  // namespace Common

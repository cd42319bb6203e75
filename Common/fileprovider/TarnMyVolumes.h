#pragma once

#include "Common/fileprovider/TarnVolume.h"
#include "Common/service/APICollectionResponse.h"
#include "Platform/core/Export.h"

namespace Common {

// The answer of the my-volumes endpoint: {"volumes": {"total_count": n, "entries": [...]}}.
struct QUILLO_EXPORT TarnMyVolumes {
    APICollectionResponse<TarnVolume> volumes;

    static TarnMyVolumes decode(const Platform::KeyedDecoder& c) {
        return {.volumes = c.decode<APICollectionResponse<TarnVolume>>("volumes")};
    }
    bool operator==(const TarnMyVolumes&) const = default;
};

}  // namespace Common

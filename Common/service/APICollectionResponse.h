#pragma once

#include <cstdint>
#include <vector>

#include "Platform/json/JSONDecoder.h"

namespace Common {

// The counted list the service nests inside its answers (an item's path, the user's
// volumes). One malformed element fails the whole collection.
template <class T>
struct APICollectionResponse {
    std::int64_t totalCount = 0;
    std::vector<T> entries;

    static APICollectionResponse decode(const Platform::KeyedDecoder& c) {
        return {
            .totalCount = c.decode<std::int64_t>("totalCount"),
            .entries = c.decode<std::vector<T>>("entries"),
        };
    }
    bool operator==(const APICollectionResponse&) const = default;
};

}  // namespace Common

#pragma once

#include <string>

#include "Platform/json/JSONDecoder.h"
#include "Platform/time/Date.h"

namespace TestSupport {

// The smallest record with a date: what the connection tests decode answers into.
struct Stamp {
    std::string name;
    Platform::Date createdAt;
    static Stamp decode(const Platform::KeyedDecoder& c) {
        return {.name = c.decode<std::string>("name"), .createdAt = c.decode<Platform::Date>("createdAt")};
    }
};

}  // namespace TestSupport

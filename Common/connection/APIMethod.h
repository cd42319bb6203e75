#pragma once

#include <string_view>
#include <utility>

#include "Platform/core/RawValues.h"

namespace Common {

// HTTP methods of the service's endpoints; the raw value is the name sent on the wire.
enum class APIMethod { GET, POST, DELETE, PATCH, PUT };

}  // namespace Common

template <>
struct Platform::RawValues<Common::APIMethod> {
    static constexpr std::string_view typeName = "APIMethod";
    static constexpr std::pair<Common::APIMethod, std::string_view> table[] = {
        {Common::APIMethod::GET, "GET"},     {Common::APIMethod::POST, "POST"}, {Common::APIMethod::DELETE, "DELETE"},
        {Common::APIMethod::PATCH, "PATCH"}, {Common::APIMethod::PUT, "PUT"},
    };
};

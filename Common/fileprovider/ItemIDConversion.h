#pragma once

#include <string>
#include <string_view>

namespace Common {

// The file provider shows the service's root folder "0" as the personal folder "01";
// this turns a file-provider identifier back into the one the service knows.
inline std::string toItemID(std::string_view identifier) {
    return identifier == "01" ? std::string("0") : std::string(identifier);
}

}  // namespace Common

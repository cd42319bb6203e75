#pragma once

#include <string>

namespace Platform {

// Bytes. A std::string so that received bodies can be parsed in place (its spare
// capacity serves as the JSON parser's padding) and viewed as text without copying.
using Data = std::string;

}  // namespace Platform

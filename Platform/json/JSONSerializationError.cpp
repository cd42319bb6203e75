#include "Platform/json/JSONSerializationError.h"

namespace Platform {

std::optional<std::string> JSONSerializationError::errorDescription() const {
    return "The data couldn't be written because it isn't in the correct format.";
}

}  // namespace Platform

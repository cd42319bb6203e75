#include "Platform/json/DecodingError.h"

namespace Platform {

std::string DecodingError::codingPathDescription() const {
    std::string joined;
    for (const auto& key : codingPath_) {
        if (!joined.empty()) joined += '.';
        joined += key;
    }
    return joined;
}

std::optional<std::string> DecodingError::failureReason() const {
    switch (kind_) {
        case Kind::keyNotFound:
        case Kind::valueNotFound: return "The data couldn't be read because it is missing.";
        case Kind::typeMismatch:
        case Kind::dataCorrupted: return "The data couldn't be read because it isn't in the correct format.";
    }
    return std::nullopt;
}

}  // namespace Platform

#include "Common/fileprovider/EntryError.h"

namespace Common {

std::optional<std::string> EntryError::errorDescription() const {
    switch (code_) {
        case Code::notFoundVolumeRole: return "Not found volume role";
    }
    return std::nullopt;
}

}  // namespace Common

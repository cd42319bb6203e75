#include "Platform/fileprovider/FileProviderError.h"

namespace Platform {

namespace {

const char* sentence(FileProviderError::Code code) noexcept {
    using Code = FileProviderError::Code;
    switch (code) {
        case Code::noSuchItem: return "The file couldn't be found.";
        case Code::domainNotFound: return "The file provider domain couldn't be found.";
        case Code::invalidArgument: return "The item cannot be recorded as given.";
        case Code::filenameCollision: return "An item with the same name already exists.";
        case Code::cannotSynchronize: break;
    }
    return "The file provider couldn't synchronize its items.";
}

}  // namespace

const char* FileProviderError::name(Code code) noexcept {
    switch (code) {
        case Code::noSuchItem: return "noSuchItem";
        case Code::domainNotFound: return "domainNotFound";
        case Code::invalidArgument: return "invalidArgument";
        case Code::filenameCollision: return "filenameCollision";
        case Code::cannotSynchronize: break;
    }
    return "cannotSynchronize";
}

std::optional<std::string> FileProviderError::errorDescription() const {
    std::string text = sentence(code_);
    if (!detail_.empty()) text += " (" + detail_ + ")";
    return text;
}

}  // namespace Platform

#include "Platform/core/Error.h"

#include <atomic>
#include <typeinfo>

namespace Platform {

const char* Error::what() const noexcept {
    try {
        auto text = std::atomic_load(&what_);
        if (!text) {
            auto fresh = std::make_shared<const std::string>(errorDescription().value_or(typeid(*this).name()));
            std::shared_ptr<const std::string> expected;
            // Another thread may have won the race; either text is the same.
            if (!std::atomic_compare_exchange_strong(&what_, &expected, fresh)) {
                fresh = expected;
            }
            text = fresh;
        }
        return text->c_str();
    } catch (...) {
        return "Platform::Error";
    }
}

}  // namespace Platform

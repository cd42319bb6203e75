#include "Platform/bundle/Bundle.h"

#include <memory>
#include <mutex>

namespace Platform {

namespace {

// Readers take a shared pointer under the lock and copy outside it.
struct MainBundleSlot {
    std::mutex mutex;
    std::shared_ptr<const Bundle> bundle;
};

MainBundleSlot& mainBundleSlot() {
    static MainBundleSlot slot;
    return slot;
}

}  // namespace

std::optional<Bundle> Bundle::main() {
    std::shared_ptr<const Bundle> current;
    {
        auto& slot = mainBundleSlot();
        const std::lock_guard lock(slot.mutex);
        current = slot.bundle;
    }
    if (!current) return std::nullopt;
    return *current;
}

void Bundle::setMain(std::optional<Bundle> bundle) {
    std::shared_ptr<const Bundle> replacement;
    if (bundle) replacement = std::make_shared<const Bundle>(std::move(*bundle));
    auto& slot = mainBundleSlot();
    const std::lock_guard lock(slot.mutex);
    slot.bundle.swap(replacement);
}

std::optional<std::string> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    const auto found = infoDictionary.find(key);
    if (found == infoDictionary.end()) return std::nullopt;
    return found->second;
}

}  // namespace Platform

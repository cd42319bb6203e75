#include "Common/local/NotificationPermission.h"

#include <memory>

namespace Common {

void isNotAuthorized(const Platform::UserNotificationCenter& center, std::function<void(bool)> completion) {
    center.getNotificationSettings([completion = std::move(completion)](Platform::UserNotificationSettings settings) {
        completion(settings.authorizationStatus != Platform::UserNotificationAuthorizationStatus::authorized);
    });
}

std::future<bool> isNotAuthorized(const Platform::UserNotificationCenter& center) {
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    isNotAuthorized(center, [promise](bool answer) { promise->set_value(answer); });
    return future;
}

}  // namespace Common

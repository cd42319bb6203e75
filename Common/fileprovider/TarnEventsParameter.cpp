#include "Common/fileprovider/TarnEventsParameter.h"

#include "Platform/time/ISO8601DateFormatter.h"

namespace Common::WebService {

namespace {

std::vector<Platform::URLQueryItem> eventsQuery(std::optional<Platform::Date> date) {
    if (!date) return {{"use", "app"}, {"latest", std::nullopt}};
    return {{"use", "app"}, {"after", Platform::ISO8601DateFormatter::withFractionalSeconds().string(*date)}};
}

}  // namespace

TarnEventsParameter::TarnEventsParameter(std::optional<Platform::Date> date)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, eventsQuery(date)) {}

}  // namespace Common::WebService

#include "Platform/time/Date.h"

#include <chrono>

namespace Platform {

Date Date::now() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return Date{duration<double>(since).count()};
}

Date Date::distantFuture() {
    return Date{64092211200.0};
}

}  // namespace Platform

#include "Platform/time/Date.h"

#include "Platform/time/Clock.h"

namespace Platform {

Date Date::now() {
    return Clock::now();
}

Date Date::distantFuture() {
    return Date{64092211200.0};
}

}  // namespace Platform

#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "Platform/dbus/internal/SessionBus.h"

// Tests of the desktop services run for real on the private session bus that
// tests/support/run_with_session_bus.sh starts (with a Secret Service on it) and set
// QUILLO_REQUIRE_SESSION_BUS; elsewhere they skip.
namespace TestSupport {

inline bool hasSessionBus() { return static_cast<bool>(Platform::detail::openSessionBus().bus); }

inline bool sessionBusRequired() { return std::getenv("QUILLO_REQUIRE_SESSION_BUS") != nullptr; }

// Added to a child's environment: no session bus at all, as in a process outside the
// desktop session.
inline std::vector<std::pair<std::string, std::string>> withoutSessionBus() {
    return {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", ""}};
}

}  // namespace TestSupport

#define QUILLO_REQUIRE_SESSION_BUS()                                                         \
    do {                                                                                     \
        if (!TestSupport::hasSessionBus()) {                                                 \
            if (TestSupport::sessionBusRequired()) FAIL() << "no session bus";               \
            GTEST_SKIP() << "needs a session bus: tests/support/run_with_session_bus.sh";    \
        }                                                                                    \
    } while (false)

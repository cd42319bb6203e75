#include <gtest/gtest.h>

#include "../platform/StoreTestSupport.h"
#include "Common/auth/OAuthManager.h"
#include "Platform/json/JSONDecoder.h"
#include "tests/support/FixedClock.h"

namespace {

using Platform::Date;

// The manager counts a credential as expired from the instant of its expiration on; the
// credential itself only strictly after it.
TEST(CredentialExpiry, BoundaryUnderAFixedClock) {
    StoreTestSupport::TemporaryRoot root;
    const Date decodedAt{1714555800.0};
    Platform::testing::ScopedFixedClock clock(decodedAt);
    const auto credential = Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Common::Credential>>(
        R"({"access_token":"a","token_type":"bearer","refresh_token":"r","expires_in":3600,"login":"u","email":null})");
    ASSERT_EQ(credential->expiration(), decodedAt.addingTimeInterval(3600)) << "now + expires_in, read from the clock";
    auto& manager = Common::OAuthManager::shared();
    manager.setCredential(credential);

    struct Case {
        const char* name;
        double fromExpiration;  // seconds
        bool managerExpired;
        bool credentialExpired;
    };
    const Case cases[] = {
        {"well before", -3600, false, false},
        {"a millisecond before", -0.001, false, false},
        {"at the instant", 0, true, false},
        {"a millisecond after", 0.001, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.set(credential->expiration().addingTimeInterval(c.fromExpiration));
        EXPECT_EQ(manager.isExpired(), c.managerExpired);
        EXPECT_EQ(credential->isExpired(), c.credentialExpired);
    }
    manager.setCredential(nullptr);
    EXPECT_TRUE(manager.isExpired());
}

}  // namespace

#pragma once

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <vector>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/CredentialSource.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/WebConnection.h"
#include "tests/support/DevServerProcess.h"

namespace E2E {

// A credential handed over as is: the connection sends it even once it has expired,
// so the server is the one to refuse it.
struct HeldCredential : Common::CredentialSource {
    enum class Expiry { checked, ignored };
    explicit HeldCredential(std::shared_ptr<const Common::Credential> c, Expiry e = Expiry::checked)
        : held(std::move(c)), expiry(e) {}
    bool isExpired() const override { return !held || (expiry == Expiry::checked && held->isExpired()); }
    std::shared_ptr<const Common::Credential> credential() const override { return held; }
    std::shared_ptr<const Common::Credential> held;
    Expiry expiry;
};

// The RailsError a call failed with; none when it passed or failed otherwise.
template <class Future>
std::optional<Common::RailsError> railsError(Future&& future) {
    try {
        future.get();
    } catch (const Common::RailsError& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

// Starts a devserver per test; `anonymous` reaches it without a credential.
class DevServerE2E : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::DevServerProcess::available()) GTEST_SKIP() << "quillo-devserver is not built";
        ASSERT_TRUE(start());
    }
    [[nodiscard]] bool start(const std::vector<std::string>& arguments = {}) {
        anonymous.reset();  // an idle keep-alive connection would hold the old server's stop
        server.reset();
        server.emplace(arguments);
        if (server->url().empty()) return false;
        anonymous.emplace(*Platform::URL::parse(server->url()));
        return true;
    }
    std::future<std::shared_ptr<const Common::Credential>> signIn(const std::string& login, const std::string& password,
                                                                  std::optional<std::string> onetime = std::nullopt) {
        using Common::WebService::CredentialParameter;
        return anonymous->makeAPICall(
            CredentialParameter(),
            CredentialParameter::dataForCreate("dev-client", "dev-secret", {login, password}, std::nullopt, onetime), false);
    }
    Common::WebConnection as(const std::string& login) {
        return {*Platform::URL::parse(server->url()),
                Common::WebConnection::Options{
                    .credentials = std::make_shared<HeldCredential>(signIn(login, login + "-pass").get())}};
    }

    std::optional<TestSupport::DevServerProcess> server;
    std::optional<Common::WebConnection> anonymous;
};

}  // namespace E2E

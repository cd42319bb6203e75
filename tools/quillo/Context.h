#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Common/connection/QuilloBackend.h"
#include "Common/connection/WebConnection.h"
#include "Platform/url/URL.h"
#include "tools/quillo/Output.h"

namespace Common {
class KeychainManager;
class OAuthManager;
class SharedContainerDefaults;
}  // namespace Common

namespace QuilloCli {

// What the global options say; empty members fall back to the remembered configuration.
struct GlobalOptions {
    std::optional<std::string> environment;
    std::optional<std::string> server;
    bool json = false;
};

// The little the client remembers between runs: which environment, and which address
// when it is not the environment's own. $XDG_CONFIG_HOME/quillo/config.json, mode 0600.
struct ClientConfig {
    std::string environment = "local";
    std::optional<std::string> server;

    static std::filesystem::path defaultPath();
    // Absent or unreadable reads as the defaults: the file only saves typing.
    static ClientConfig load(const std::filesystem::path& path);
    // Throws std::filesystem::filesystem_error.
    void save(const std::filesystem::path& path) const;
};

// The environment names the options take ("local", ...) and their domains.
[[nodiscard]] std::optional<Common::QuilloBackend::Domain> environmentNamed(std::string_view name);
[[nodiscard]] std::string environmentName(Common::QuilloBackend::Domain domain);

// What every command shares: the chosen environment and address, the connection, the
// library's stores and the output. Built once the command line has been parsed.
class Context {
public:
    // Throws CliError::usage for an unknown environment or a malformed address.
    explicit Context(const GlobalOptions& options);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    const Common::QuilloBackend& backend() const noexcept { return backend_; }
    // The environment's host name: the domain the keychain and the settings file it under.
    std::string domain() const;
    const Platform::URL& baseURL() const noexcept { return *baseURL_; }
    const Common::WebConnection& connection() const noexcept { return *connection_; }
    const Output& output() const noexcept { return output_; }

    Common::KeychainManager& keychain() const;
    Common::OAuthManager& oauth() const;
    Common::SharedContainerDefaults& settings() const;

    // Makes this environment the selected one in the shared settings, as a sign-in does.
    void selectDomain() const;
    // Loads the stored credential and refreshes it first when it has expired (once for
    // every process of the user). Throws CliError::notSignedIn without one.
    void requireSignIn() const;
    // Keeps environment and address for later runs.
    void remember() const;

private:
    ClientConfig config_;
    Common::QuilloBackend backend_;
    std::optional<Platform::URL> baseURL_;
    std::optional<Common::WebConnection> connection_;
    Output output_;
    mutable std::unique_ptr<Common::SharedContainerDefaults> settings_;
};

}  // namespace QuilloCli

#include "tools/quillo/Context.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/CredentialRefresh.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/OAuthManager.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/OAuthErrorBody.h"
#include "Platform/core/RawValues.h"
#include "tools/quillo/Failure.h"

namespace QuilloCli {

namespace {

// A configuration file is a few lines; anything bigger is not ours.
constexpr std::uintmax_t maximumConfigSize = 64 * 1024;

constexpr std::pair<Common::QuilloBackend::Domain, std::string_view> environmentNames[] = {
    {Common::QuilloBackend::Domain::local, "local"},
    {Common::QuilloBackend::Domain::staging, "staging"},
    {Common::QuilloBackend::Domain::production, "production"},
    {Common::QuilloBackend::Domain::tfc, "tfc"},
};

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::optional<Common::QuilloBackend::Domain> environmentNamed(std::string_view name) {
    for (const auto& [domain, text] : environmentNames) {
        if (text == name) return domain;
    }
    return std::nullopt;
}

std::string environmentName(Common::QuilloBackend::Domain domain) {
    for (const auto& [candidate, text] : environmentNames) {
        if (candidate == domain) return std::string(text);
    }
    return "local";
}

std::filesystem::path ClientConfig::defaultPath() {
    // XDG asks that relative values be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
        return std::filesystem::path(config) / "quillo" / "config.json";
    }
    return homeFolder() / ".config" / "quillo" / "config.json";
}

ClientConfig ClientConfig::load(const std::filesystem::path& path) {
    ClientConfig config;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > maximumConfigSize) return config;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto document = nlohmann::json::parse(text, nullptr, /*allow_exceptions*/ false);
    if (!document.is_object()) return config;
    if (const auto it = document.find("environment"); it != document.end() && it->is_string() &&
                                                      environmentNamed(it->get<std::string>())) {
        config.environment = it->get<std::string>();
    }
    if (const auto it = document.find("server"); it != document.end() && it->is_string()) {
        config.server = it->get<std::string>();
    }
    return config;
}

void ClientConfig::save(const std::filesystem::path& path) const {
    std::filesystem::create_directories(path.parent_path());
    ::chmod(path.parent_path().c_str(), 0700);
    nlohmann::json document{{"environment", environment}};
    if (server) document["server"] = *server;
    const auto text = document.dump(2) + "\n";
    // Written whole under another name and renamed, so a reader never sees half a file.
    const auto temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::filesystem::filesystem_error("cannot write the configuration", temporary,
                                                        std::error_code(errno, std::generic_category()));
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::error_code code(errno, std::generic_category());
        ::unlink(temporary.c_str());
        throw std::filesystem::filesystem_error("cannot write the configuration", path, code);
    }
}

Context::Context(const GlobalOptions& options)
    : config_(ClientConfig::load(ClientConfig::defaultPath())),
      backend_(Common::QuilloBackend::Domain::local),
      output_(options.json ? OutputFormat::json : OutputFormat::table,
              Output::colourFor(stdout, options.json ? OutputFormat::json : OutputFormat::table)) {
    // An explicit environment without an address goes back to the environment's own.
    if (options.environment) {
        config_.environment = *options.environment;
        config_.server.reset();
    }
    if (options.server) config_.server = *options.server;
    const auto domain = environmentNamed(config_.environment);
    if (!domain) throw CliError::usage("unknown environment \"" + config_.environment + "\" (local, staging, production, tfc)");
    backend_ = Common::QuilloBackend(*domain);
    if (config_.server) {
        baseURL_ = Platform::URL::parse(*config_.server);
        if (!baseURL_ || (baseURL_->scheme() != "http" && baseURL_->scheme() != "https")) {
            throw CliError::usage("not an http or https address: \"" + *config_.server + "\"");
        }
    } else {
        baseURL_ = backend_.baseURL();
        if (!baseURL_) throw CliError::usage("the environment \"" + config_.environment + "\" has no address");
    }
    connection_.emplace(*baseURL_);
}

Context::~Context() = default;

std::string Context::domain() const { return std::string(Platform::rawValue(backend_.domain())); }

Common::KeychainManager& Context::keychain() const { return Common::KeychainManager::shared(); }

Common::OAuthManager& Context::oauth() const { return Common::OAuthManager::shared(); }

Common::SharedContainerDefaults& Context::settings() const {
    if (!settings_) {
        settings_ = std::make_unique<Common::SharedContainerDefaults>(Common::SharedContainerDefaults::sharedContainerDefaults());
    }
    return *settings_;
}

void Context::selectDomain() const {
    if (settings().domain() != domain()) settings().setDomain(domain());
}

void Context::requireSignIn() const {
    // The shared manager reads the selected domain's credential; another environment's
    // sign-in is no sign-in here.
    if (settings().domain() != domain()) throw CliError::notSignedIn();
    auto& manager = oauth();
    manager.reloadCredential();
    if (!manager.credential()) throw CliError::notSignedIn();
    if (!manager.isExpired()) return;
    Common::CredentialRefresh refresh(manager, keychain(), settings());
    const auto connection = *connection_;
    auto outcome = refresh.refreshIfExpired([connection](const std::string& token, auto done) {
        using Common::WebService::CredentialParameter;
        connection.makeAPICall(CredentialParameter(), CredentialParameter::dataForRefresh(token), false, std::move(done));
    });
    if (outcome) return;
    if (const auto body = Common::OAuthErrorBody::from(*outcome.error()); body && body->isInvalidGrant()) {
        throw CliError(ExitCode::authentication, "the sign-in has expired; run `quillo login USER` again");
    }
    outcome.error()->raise();
}

void Context::remember() const { config_.save(ClientConfig::defaultPath()); }

}  // namespace QuilloCli

#include "Common/connection/QuilloBackend.h"

#include "Common/connection/CommonError.h"
#include "Common/connection/EnvironmentConfiguration.h"
#include "Common/fileprovider/ItemIdentifiers.h"

namespace cfg = Common::EnvironmentConfiguration;
using Common::QuilloBackend;

const std::pair<QuilloBackend::Domain, std::string_view> Platform::RawValues<QuilloBackend::Domain>::table[4] = {
    {QuilloBackend::Domain::local, cfg::local.host},
    {QuilloBackend::Domain::staging, cfg::staging.host},
    {QuilloBackend::Domain::production, cfg::production.host},
    {QuilloBackend::Domain::tfc, cfg::tfc.host},
};

namespace Common {

namespace {

constexpr const char* repeaterPort = ":10548/ssl";

QuilloBackend::Settings makeSettings(const cfg::Environment& env, const char* scheme, std::optional<int> port,
                                     std::string repeaterHost) {
    return {
        .allowInvalidSSLCertificate = true,
        .clientID = env.clientID,
        .clientSecret = env.clientSecret,
        .scheme = scheme,
        .domain = env.host,
        .port = port,
        .stoneHostPort = repeaterHost + repeaterPort,
        .stoneSport = "25558",
    };
}

}  // namespace

QuilloBackend::QuilloBackend(std::string_view name) {
    const auto domain = Platform::fromRawValue<Domain>(name);
    if (!domain) throw CommonError::unrecognizedEnvironment(std::string(name));
    domain_ = *domain;
}

const QuilloBackend::Settings& QuilloBackend::settings(Domain domain) {
    static const Settings table[] = {
        makeSettings(cfg::local, "http", 3000, cfg::developmentServerAddress),
        makeSettings(cfg::staging, "https", std::nullopt, cfg::staging.host),
        makeSettings(cfg::production, "https", std::nullopt, cfg::production.host),
        makeSettings(cfg::tfc, "https", std::nullopt, cfg::tfc.host),
    };
    return table[static_cast<int>(domain)];
}

std::optional<Platform::URL> QuilloBackend::baseURL() const {
    const auto& s = settings(domain_);
    if (s.scheme.empty() || s.domain.empty()) return std::nullopt;
    auto text = s.scheme + "://api." + s.domain;
    if (s.port) text += ":" + std::to_string(*s.port);
    return Platform::URL::parse(text);
}

std::string QuilloBackend::scheme() const {
    const auto url = baseURL();
    return url ? url->scheme() : std::string();
}

std::string QuilloBackend::host() const {
    const auto url = baseURL();
    return url ? url->host() : std::string();
}

std::optional<int> QuilloBackend::port() const {
    const auto url = baseURL();
    return url ? url->port() : std::nullopt;
}

std::string QuilloBackend::clientID() const { return settings(domain_).clientID; }

std::string QuilloBackend::clientSecret() const { return settings(domain_).clientSecret; }

std::optional<Platform::URL> QuilloBackend::pageURL(std::string_view path) const {
    const auto& s = settings(domain_);
    if (s.scheme.empty() || s.domain.empty()) return std::nullopt;
    return Platform::URLComponents{.scheme = s.scheme, .host = s.domain, .port = s.port, .path = std::string(path)}
        .url();
}

std::optional<QuilloBackend> backend(const Platform::FileProviderDomain& domain) {
    if (const auto match = Platform::fromRawValue<QuilloBackend::Domain>(std::string_view(domain.identifier))) {
        return QuilloBackend(*match);
    }
    return std::nullopt;
}

Platform::URLComponents itemURLComponents(const Platform::FileProviderDomain& domain,
                                          const Platform::FileProviderItemIdentifier& itemIdentifier) {
    return itemURLComponents(domain.identifier, toItemID(itemIdentifier.rawValue));
}

Platform::URLComponents itemURLComponents(std::string_view host, std::string_view itemID) {
    return {.scheme = "https", .host = std::string(host), .path = "/f/" + std::string(itemID)};
}

}  // namespace Common

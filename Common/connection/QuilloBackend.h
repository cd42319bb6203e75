#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"
#include "Platform/fileprovider/FileProviderDomain.h"
#include "Platform/fileprovider/FileProviderItemIdentifier.h"
#include "Platform/url/URL.h"
#include "Platform/url/URLComponents.h"

namespace Common {

// The service's backend environments and the selection of one of them.
class QUILLO_EXPORT QuilloBackend {
public:
    // Raw value of each case: the environment's host name.
    enum class Domain { local, staging, production, tfc };

    // Settings of one environment, as the fixed table holds them.
    struct Settings {
        bool allowInvalidSSLCertificate;
        std::string clientID;
        std::string clientSecret;
        std::string scheme;
        std::string domain;
        std::optional<int> port;
        // Destination and local port of the SSL-wrapping TCP repeater; carried, never read.
        std::string stoneHostPort;
        std::string stoneSport;
    };

    explicit QuilloBackend(Domain domain) noexcept : domain_(domain) {}
    // Exact, case-sensitive match on the host names; throws CommonError::unrecognizedEnvironment.
    explicit QuilloBackend(std::string_view name);

    Domain domain() const noexcept { return domain_; }
    void setDomain(Domain domain) noexcept { domain_ = domain; }

    // The REST interface: "api." + host name, with the environment's scheme and port.
    std::optional<Platform::URL> baseURL() const;
    std::string scheme() const;
    // Includes the "api." label.
    std::string host() const;
    std::optional<int> port() const;
    std::string clientID() const;
    std::string clientSecret() const;
    // A page of the web application, on the bare host name.
    [[nodiscard]] std::optional<Platform::URL> pageURL(std::string_view path) const;

    // The fixed settings of an environment.
    static const Settings& settings(Domain domain);

    bool operator==(const QuilloBackend&) const = default;

private:
    Domain domain_;
};

// The environment a file-provider domain belongs to: the one whose host name is the
// domain's identifier, or none.
[[nodiscard]] QUILLO_EXPORT std::optional<QuilloBackend> backend(const Platform::FileProviderDomain& domain);

// Web links to single items: always https on the domain's bare host, no port.
// The personal folder "01" links to the service's root "0".
QUILLO_EXPORT Platform::URLComponents itemURLComponents(const Platform::FileProviderDomain& domain,
                                          const Platform::FileProviderItemIdentifier& itemIdentifier);
// The identifier is used as given.
QUILLO_EXPORT Platform::URLComponents itemURLComponents(std::string_view host, std::string_view itemID);

}  // namespace Common

template <>
struct QUILLO_EXPORT Platform::RawValues<Common::QuilloBackend::Domain> {
    static constexpr std::string_view typeName = "QuilloBackend.Domain";
    static const std::pair<Common::QuilloBackend::Domain, std::string_view> table[4];
};

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"

namespace Platform {

// An absolute URL in the normalized form libcurl gives it. Components are read
// once at parse time and stay percent-encoded as they appear in the text.
class QUILLO_EXPORT URL {
public:
    // nullopt for empty, relative or malformed text. Any scheme is accepted as
    // long as the text has the "scheme://" form.
    [[nodiscard]] static std::optional<URL> parse(std::string_view text);

    const std::string& absoluteString() const noexcept { return absoluteString_; }
    const std::string& scheme() const noexcept { return scheme_; }
    // Empty when the URL has no host, as in "file:///tmp".
    const std::string& host() const noexcept { return host_; }
    // Only a port written in the URL; no scheme default is filled in.
    std::optional<int> port() const noexcept { return port_; }
    const std::string& path() const noexcept { return path_; }
    const std::optional<std::string>& query() const noexcept { return query_; }
    const std::optional<std::string>& fragment() const noexcept { return fragment_; }

    friend bool operator==(const URL& lhs, const URL& rhs) noexcept {
        return lhs.absoluteString_ == rhs.absoluteString_;
    }

private:
    // Builds URLs from parts libcurl already checked, without parsing them again.
    friend struct URLComponents;

    URL() = default;

    std::string absoluteString_;
    std::string scheme_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace Platform

#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Platform/core/Export.h"
#include "Platform/core/Result.h"
#include "Platform/fileprovider/FileProviderDomain.h"
#include "Platform/fileprovider/FileProviderItemIdentifier.h"
#include "Platform/url/URL.h"

namespace Platform {

// Answers where the file manager shows a domain's items and which item sits at a
// shown place. Each domain's tree lives under its mount root, by default
// <group container>/FileProvider/<domain identifier>/; the root container is the
// mount root itself and every other item is where the integration process last
// recorded it (setUserVisiblePath). The recording lives on disk, so the application
// sees what the integration process wrote.
//
// Lookups complete on the ConcurrentPool with FileProviderError on failure. The
// manager is a small value: copy it freely.
class QUILLO_EXPORT FileProviderManager {
public:
    using IdentifierAndDomain = std::pair<FileProviderItemIdentifier, std::string /* domain identifier */>;

    static constexpr std::string_view applicationGroupIdentifier = "group.com.fernwaldsky.quillo.macos";

    explicit FileProviderManager(FileProviderDomain domain) : domain_(std::move(domain)) {}

    const FileProviderDomain& domain() const noexcept { return domain_; }

    // Makes the domain known to class-level lookups; `mountRoot` replaces the default
    // place (tests use a temporary folder). Throws FileProviderError invalidArgument
    // for an empty domain identifier or mount root.
    static void registerDomain(const FileProviderDomain& domain,
                               std::optional<std::filesystem::path> mountRoot = std::nullopt);
    static void unregisterDomain(const FileProviderDomain& domain);

    // The domain's mount root; throws FileProviderError (domainNotFound when the
    // identifier cannot name a folder, cannotSynchronize without a group container).
    std::filesystem::path mountRoot() const;

    // The file URL of the item; folders end in '/'.
    void getUserVisibleURL(const FileProviderItemIdentifier& identifier,
                           std::function<void(Result<URL>)> completion) const;
    // The URL, or the error thrown from get().
    [[nodiscard]] std::future<URL> getUserVisibleURL(const FileProviderItemIdentifier& identifier) const;

    // The item shown at `url` and its domain's identifier, from the domains registered
    // here and those found under the group container's default place.
    static void getIdentifierForUserVisibleFile(const URL& url,
                                                std::function<void(Result<IdentifierAndDomain>)> completion);
    [[nodiscard]] static std::future<IdentifierAndDomain> getIdentifierForUserVisibleFile(const URL& url);

    // The integration process's side: records where an item is shown, relative to the
    // mount root ("Volume A/report.pdf"). Throws FileProviderError: invalidArgument for
    // the root container or a path that leaves the root, filenameCollision when another
    // item holds the path, cannotSynchronize when the table cannot be written.
    void setUserVisiblePath(const FileProviderItemIdentifier& identifier, std::string_view relativePath) const;
    // Forgets an item; false when it was not recorded.
    bool removeItem(const FileProviderItemIdentifier& identifier) const;

private:
    FileProviderDomain domain_;
};

}  // namespace Platform

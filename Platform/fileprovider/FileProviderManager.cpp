#include "Platform/core/Fulfil.h"
#include "Platform/fileprovider/FileProviderManager.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/dispatch/ConcurrentPool.h"
#include "Platform/fileprovider/FileProviderError.h"
#include "Platform/fileprovider/internal/FileProviderItemTable.h"
#include "Platform/files/FileURL.h"

namespace Platform {

using detail::FileProviderItemTable;

namespace {

using Code = FileProviderError::Code;

constexpr const char* providerFolderName = "FileProvider";
// Class-level lookups look at no more default domains than this.
constexpr std::size_t maxDefaultDomains = 1024;

std::mutex registryMutex;
// Domain identifier -> explicit mount root, or none for the default place.
std::map<std::string, std::optional<std::filesystem::path>> registry;

bool namesOneFolder(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::filesystem::path defaultProviderFolder() {
    return ApplicationGroupContainer::rootDirectory() / std::string(FileProviderManager::applicationGroupIdentifier) /
           providerFolderName;
}

// The non-empty names of an absolute path after "." and ".." are resolved.
std::vector<std::string> components(const std::filesystem::path& path) {
    std::vector<std::string> names;
    for (const auto& element : std::filesystem::absolute(path).lexically_normal().relative_path()) {
        if (!element.empty()) names.push_back(element.string());
    }
    return names;
}

// Runs `work` on the pool and hands its value or its error to `completion`.
template <class T, class Work>
void complete(Work work, std::function<void(Result<T>)> completion) {
    ConcurrentPool::post([work = std::move(work), completion = std::move(completion)]() mutable {
        std::optional<Result<T>> result;
        try {
            result.emplace(work());
        } catch (const Error& error) {
            result.emplace(error.clone());
        } catch (const std::exception& error) {
            result.emplace(ErrorPtr(std::make_shared<FileProviderError>(Code::cannotSynchronize, error.what())));
        }
        if (completion) completion(std::move(*result));
    });
}

template <class T>
std::future<T> futureOf(std::function<void(std::function<void(Result<T>)>)> start) {
    auto promise = std::make_shared<std::promise<T>>();
    auto future = promise->get_future();
    start([promise](Result<T> result) { fulfil(*promise, std::move(result)); });
    return future;
}

struct Candidate {
    std::string domainIdentifier;
    std::vector<std::string> root;
};

std::vector<Candidate> knownDomains() {
    std::vector<Candidate> candidates;
    std::map<std::string, std::optional<std::filesystem::path>> registered;
    {
        std::lock_guard lock(registryMutex);
        registered = registry;
    }
    for (const auto& [identifier, root] : registered) {
        if (root) {
            candidates.push_back({identifier, components(*root)});
        } else if (namesOneFolder(identifier)) {
            candidates.push_back({identifier, components(defaultProviderFolder() / identifier)});
        }
    }
    // Domains the integration process set up in the default place, registered or not.
    std::error_code ec;
    std::filesystem::directory_iterator folder(defaultProviderFolder(), ec);
    for (std::size_t seen = 0; !ec && folder != std::filesystem::directory_iterator() && seen < maxDefaultDomains;
         folder.increment(ec), ++seen) {
        const std::string name = folder->path().filename().string();
        if (registered.count(name) == 0 && folder->is_directory(ec)) {
            candidates.push_back({name, components(folder->path())});
        }
    }
    return candidates;
}

FileProviderManager::IdentifierAndDomain identifierForUserVisibleFile(const URL& url) {
    const auto path = filePath(url);
    if (!path) throw FileProviderError(Code::noSuchItem, url.absoluteString());
    const auto names = components(*path);

    const auto candidates = knownDomains();
    const Candidate* best = nullptr;
    for (const auto& candidate : candidates) {
        const auto& root = candidate.root;
        // The longest root wins, should one domain sit inside another's folder.
        if (root.size() <= names.size() && std::equal(root.begin(), root.end(), names.begin()) &&
            (best == nullptr || root.size() > best->root.size())) {
            best = &candidate;
        }
    }
    if (best == nullptr) throw FileProviderError(Code::domainNotFound, url.absoluteString());
    if (names.size() == best->root.size()) return {FileProviderItemIdentifier::rootContainer(), best->domainIdentifier};

    std::string relative;
    for (auto name = names.begin() + static_cast<std::ptrdiff_t>(best->root.size()); name != names.end(); ++name) {
        if (!relative.empty()) relative += '/';
        relative += *name;
    }
    std::filesystem::path root("/");
    for (const auto& name : best->root) root /= name;
    const auto identifier = FileProviderItemTable(root).identifier(relative);
    if (!identifier) throw FileProviderError(Code::noSuchItem, url.absoluteString());
    return {FileProviderItemIdentifier{*identifier}, best->domainIdentifier};
}

}  // namespace

void FileProviderManager::registerDomain(const FileProviderDomain& domain,
                                         std::optional<std::filesystem::path> mountRoot) {
    if (domain.identifier.empty() || domain.identifier.find('\0') != std::string::npos) {
        throw FileProviderError(Code::invalidArgument, "empty domain identifier");
    }
    if (mountRoot && mountRoot->empty()) throw FileProviderError(Code::invalidArgument, "empty mount root");
    if (mountRoot) {
        std::error_code ec;
        auto absolute = std::filesystem::absolute(*mountRoot, ec);
        if (ec) throw FileProviderError(Code::invalidArgument, "mount root " + mountRoot->string() + ": " + ec.message());
        mountRoot = absolute.lexically_normal();
    }
    std::lock_guard lock(registryMutex);
    registry[domain.identifier] = std::move(mountRoot);
}

void FileProviderManager::unregisterDomain(const FileProviderDomain& domain) {
    std::lock_guard lock(registryMutex);
    registry.erase(domain.identifier);
}

std::filesystem::path FileProviderManager::mountRoot() const {
    {
        std::lock_guard lock(registryMutex);
        const auto found = registry.find(domain_.identifier);
        if (found != registry.end() && found->second) return *found->second;
    }
    if (!namesOneFolder(domain_.identifier)) {
        throw FileProviderError(Code::domainNotFound, "domain \"" + domain_.identifier + "\"");
    }
    const auto container = ApplicationGroupContainer::containerURL(applicationGroupIdentifier);
    if (!container) throw FileProviderError(Code::cannotSynchronize, "no application group container");
    return *container / providerFolderName / domain_.identifier;
}

void FileProviderManager::getUserVisibleURL(const FileProviderItemIdentifier& identifier,
                                            std::function<void(Result<URL>)> completion) const {
    complete<URL>(
        [manager = *this, identifier]() -> URL {
            const auto root = manager.mountRoot();
            std::filesystem::path path = root;
            auto kind = FileURLKind::directory;
            if (identifier != FileProviderItemIdentifier::rootContainer()) {
                const auto relative = FileProviderItemTable(root).path(identifier.rawValue);
                if (!relative) throw FileProviderError(Code::noSuchItem, "identifier " + identifier.rawValue);
                path /= *relative;
                std::error_code ec;
                kind = std::filesystem::is_directory(path, ec) ? FileURLKind::directory : FileURLKind::file;
            }
            auto url = fileURL(path, kind);
            if (!url) throw FileProviderError(Code::noSuchItem, "no URL for " + path.string());
            return std::move(*url);
        },
        std::move(completion));
}

std::future<URL> FileProviderManager::getUserVisibleURL(const FileProviderItemIdentifier& identifier) const {
    return futureOf<URL>([this, identifier](auto completion) { getUserVisibleURL(identifier, std::move(completion)); });
}

void FileProviderManager::getIdentifierForUserVisibleFile(const URL& url,
                                                          std::function<void(Result<IdentifierAndDomain>)> completion) {
    complete<IdentifierAndDomain>([url] { return identifierForUserVisibleFile(url); }, std::move(completion));
}

std::future<FileProviderManager::IdentifierAndDomain> FileProviderManager::getIdentifierForUserVisibleFile(
    const URL& url) {
    return futureOf<IdentifierAndDomain>(
        [&url](auto completion) { getIdentifierForUserVisibleFile(url, std::move(completion)); });
}

void FileProviderManager::setUserVisiblePath(const FileProviderItemIdentifier& identifier,
                                             std::string_view relativePath) const {
    if (identifier == FileProviderItemIdentifier::rootContainer()) {
        throw FileProviderError(Code::invalidArgument, "the root container is the mount root");
    }
    FileProviderItemTable(mountRoot()).setPath(identifier.rawValue, relativePath);
}

bool FileProviderManager::removeItem(const FileProviderItemIdentifier& identifier) const {
    return FileProviderItemTable(mountRoot()).remove(identifier.rawValue);
}

}  // namespace Platform

#include "Common/fileprovider/VolumeFolderLookup.h"

#include <memory>
#include <string>
#include <string_view>

#include "Common/connection/CommonError.h"
#include "Platform/core/Fulfil.h"
#include "Platform/files/FileURL.h"
#include "Platform/url/PercentEncoding.h"

namespace Common {

using Platform::FileProviderItemIdentifier;
using Platform::FileProviderManager;
using Platform::Result;
using Platform::URL;

namespace {

using Completion = std::function<void(Result<FileProviderItemIdentifier>)>;

void finish(const Completion& completion, Result<FileProviderItemIdentifier> result) {
    if (completion) completion(std::move(result));
}

}  // namespace

URL quilloVolumeFolderURL(const URL& itemURL, const URL& rootURL) {
    const std::string& item = itemURL.absoluteString();
    const std::string& root = rootURL.absoluteString();
    if (item.compare(0, root.size(), root) != 0) throw CommonError::volumeNotFound();

    // Absolute strings are ASCII (everything else is escaped), so bytes are characters.
    const std::string_view rest = std::string_view(item).substr(root.size());
    std::string_view first;
    for (std::size_t start = 0; start < rest.size() && first.empty();) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        first = rest.substr(start, end - start);
        start = end + 1;
    }
    std::string component = "/";
    if (!first.empty()) {
        if (auto decoded = Platform::removingPercentEncoding(first)) component = std::move(*decoded);
    }
    component += '/';

    auto folder = Platform::appendingPathComponent(rootURL, component);
    // Only a decoded NUL can make the path unusable; no folder can be named so.
    if (!folder) throw CommonError::volumeNotFound();
    return std::move(*folder);
}

void folderIdentifierForQuilloVolume(const FileProviderManager& manager, const FileProviderItemIdentifier& item,
                                     Completion completion) {
    manager.getUserVisibleURL(
        FileProviderItemIdentifier::rootContainer(),
        [manager, item, completion = std::move(completion)](Result<URL> rootURL) {
            if (!rootURL) return finish(completion, rootURL.error());
            manager.getUserVisibleURL(item, [rootURL = rootURL.value(), completion](Result<URL> itemURL) {
                if (!itemURL) return finish(completion, itemURL.error());
                std::optional<URL> folderURL;
                try {
                    folderURL = quilloVolumeFolderURL(itemURL.value(), rootURL);
                } catch (const Platform::Error& error) {
                    return finish(completion, error.clone());
                }
                FileProviderManager::getIdentifierForUserVisibleFile(
                    *folderURL, [completion](Result<FileProviderManager::IdentifierAndDomain> found) {
                        if (!found) return finish(completion, found.error());
                        finish(completion, found.value().first);
                    });
            });
        });
}

std::future<FileProviderItemIdentifier> folderIdentifierForQuilloVolume(const FileProviderManager& manager,
                                                                        const FileProviderItemIdentifier& item) {
    auto promise = std::make_shared<std::promise<FileProviderItemIdentifier>>();
    auto future = promise->get_future();
    folderIdentifierForQuilloVolume(manager, item, [promise](Result<FileProviderItemIdentifier> result) {
        Platform::fulfil(*promise, std::move(result));
    });
    return future;
}

}  // namespace Common

#include "Common/service/TarnSearchFolderItemsParameter.h"

#include "Platform/url/PercentEncoding.h"

namespace Common::WebService {

namespace {

std::vector<Platform::URLQueryItem> searchQuery(std::string_view keyword, std::int64_t offset) {
    auto encoded = Platform::addingPercentEncoding(keyword);
    if (!encoded) return {};
    return {
        {"q", std::move(*encoded)},
        {"sort", "relevance"},
        {"desc", "true"},
        {"api_version", "2"},
        {"min_search", "1"},
        {"offset", std::to_string(offset)},
        {"limit", std::to_string(TarnSearchFolderItemsParameter::windowSize)},
    };
}

}  // namespace

TarnSearchFolderItemsParameter::TarnSearchFolderItemsParameter(std::string_view keyword, std::int64_t offset)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, searchQuery(keyword, offset)) {}

}  // namespace Common::WebService

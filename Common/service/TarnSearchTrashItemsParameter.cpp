#include "Common/service/TarnSearchTrashItemsParameter.h"

#include "Platform/url/PercentEncoding.h"

namespace Common::WebService {

namespace {

std::vector<Platform::URLQueryItem> pathQuery(std::string_view path) {
    auto encoded = Platform::addingPercentEncoding(path);
    if (!encoded) return {};
    return {{"path", std::move(*encoded)}};
}

}  // namespace

TarnSearchTrashItemsParameter::TarnSearchTrashItemsParameter(std::string_view path)
    : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, pathQuery(path)) {}

}  // namespace Common::WebService

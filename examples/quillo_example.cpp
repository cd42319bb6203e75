// What the library can do so far: environments, endpoint descriptors and the errors
// the service and the library report.
#include <cstdio>
#include <string>

#include "Common/connection/APIRequest.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/QuilloBackend.h"
#include "Common/connection/RailsError.h"
#include "Platform/url/PercentEncoding.h"

namespace {

using namespace Common;

struct Unused {};

// Endpoint descriptors are small values; these mirror three of the service's endpoints.
struct ListFolderParameter : APIEndpoint<ListFolderParameter, Unused> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/:id/ls";
    ListFolderParameter(std::string id, long offset, long limit)
        : APIEndpoint(true, false, {{"offset", std::to_string(offset)}, {"limit", std::to_string(limit)}}),
          id_(std::move(id)) {}
    const std::string& identifier() const { return id_; }
    std::string id_;
};

struct SearchParameter : APIEndpoint<SearchParameter, Unused> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/folders/0/search";
    explicit SearchParameter(std::string_view keyword)
        : APIEndpoint(true, false, {{"q", Platform::addingPercentEncoding(keyword).value_or("")}}) {}
};

struct MyVolumesParameter : APIEndpoint<MyVolumesParameter, Unused> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/users/me/my_volumes";
    MyVolumesParameter() : APIEndpoint(true, true) {}
};

void printRequest(const APIServer& server, const APIParameter& parameter) {
    std::printf("  %-44s", parameter.httpRequestLine().c_str());
    const auto url = apiRequestURL(server, parameter);
    std::printf(" -> %s\n", url ? url->absoluteString().c_str() : "(no URL)");
    for (const auto& [name, value] : apiRequestHeaders(parameter, "<access token>")) {
        std::printf("  %44s    %s: %s\n", "", name.c_str(), value->c_str());
    }
}

}  // namespace

int main() {
    std::puts("Environments");
    for (const auto domain : Platform::allCases<QuilloBackend::Domain>()) {
        const QuilloBackend backend(domain);
        const auto base = backend.baseURL();
        const auto page = backend.pageURL("/login");
        std::printf("  %-28s base %-40s page %s\n", std::string(Platform::rawValue(domain)).c_str(),
                    base ? base->absoluteString().c_str() : "-", page ? page->absoluteString().c_str() : "-");
    }
    try {
        QuilloBackend backend("dev");
    } catch (const CommonError& error) {
        std::printf("  QuilloBackend(\"dev\"): %s\n", error.what());
    }

    const QuilloBackend production(QuilloBackend::Domain::production);
    const APIServer server{production.scheme(), production.host(), production.port()};
    std::puts("\nRequests");
    printRequest(server, ListFolderParameter("0", 0, 100));
    printRequest(server, SearchParameter("report 2024 & plans+ideas"));
    printRequest(server, MyVolumesParameter());

    std::puts("\nErrors");
    const auto signIn = RailsError::httpError(HTTPStatusCode::badRequest,
                                              std::string(R"({"error":"require_totp_onetime_token"})"));
    const auto reason = signIn.reason();
    std::printf("  %s\n  reason: %s\n", signIn.what(),
                reason ? std::string(Platform::rawValue(*reason)).c_str() : "(none)");
    const auto expired = RailsError::unauthorized("Token expired");
    std::printf("  %s\n", expired.what());
    for (long status : {204L, 299L, 418L, 503L}) {
        const auto code = statusOf(status);
        std::printf("  status %ld: %s\n", status,
                    !code ? "not a known status"
                    : responseType(*code) == HTTPStatusCodeResponseType::success ? "success"
                    : responseType(*code) == HTTPStatusCodeResponseType::clientError ? "client error"
                                                                                     : "server error");
    }
    return 0;
}

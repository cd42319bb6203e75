// What the library can do so far: environments, endpoint descriptors and the errors
// the service and the library report.
#include <cstdio>
#include <string>

#include <filesystem>
#include <unistd.h>

#include "Common/auth/CredentialParameter.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/OAuthManager.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/APIRequest.h"
#include "Common/connection/CommonError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/QuilloBackend.h"
#include "Common/connection/RailsError.h"
#include "Common/fileprovider/CapabilitiesDescription.h"
#include "Common/fileprovider/Entry.h"
#include "Common/service/LSResponse.h"
#include "Common/service/TarnItem.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/time/ISO8601DateFormatter.h"
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

    // Signing in: the form body, the token answer, and the places the credential is kept.
    // The stores live in a scratch application-group container of this run.
    std::puts("\nSign-in");
    const auto scratch = std::filesystem::temp_directory_path() / ("quillo-example-" + std::to_string(::getpid()));
    Platform::ApplicationGroupContainer::setRootDirectory(scratch);
    const auto body = WebService::CredentialParameter::dataForCreate(
        production.clientID(), production.clientSecret(), {"alice@example.com", "p&ss+w=rd%"}, std::nullopt, std::nullopt);
    std::printf("  POST /oauth/token body: %.60s...\n", body.substr(body.find("grant_type")).c_str());
    const auto credential = Platform::JSONDecoder::forAPIResponse().decode<std::shared_ptr<const Credential>>(
        R"({"access_token":"a1b2c3","token_type":"bearer","refresh_token":"r9","expires_in":7200,"login":"alice","email":null})");
    auto settings = SharedContainerDefaults::sharedContainerDefaults();
    settings.setDomain(std::string(Platform::rawValue(production.domain())));
    settings.setAccount("alice");
    KeychainManager::shared().setCredential(*credential, settings.domain());
    auto& oauth = OAuthManager::shared();
    oauth.reloadCredential();
    std::printf("  keychain -> OAuth manager: %s, expires %s, expired: %s\n", oauth.bearerToken().value_or("-").c_str(),
                Platform::ISO8601DateFormatter::withFractionalSeconds().string(oauth.credential()->expiration()).c_str(),
                oauth.isExpired() ? "yes" : "no");

    // Answers become records, records become file-provider entries with capabilities.
    std::puts("\nFile-provider entries");
    const auto item = Platform::JSONDecoder::forAPIResponse().decode<TarnItem>(R"({
        "type":"folder","id":"77","name":"Design team","modified_at":"2024-05-01T18:30:00.250+09:00","home":false,
        "parent":{"id":"0","name":"root","type":"folder","modified_at":"2024-05-01T09:30:00Z"},
        "path_collection":{"total_count":2,"entries":[
          {"id":"0","name":"root","type":"folder","is_volume":false,"is_archive":false,"modified_at":"2024-05-01T09:30:00Z"},
          {"id":"77","name":"Design team","type":"folder","is_volume":true,"is_archive":false,"modified_at":"2024-05-01T09:30:00Z"}]},
        "volumes":[{"id":5,"item_id":"77","name_without_prefix":"Design team","my_role":2}]})");
    const auto folder = item.entry();
    std::printf("  %-12s role %-7s %s\n", folder->name().c_str(), std::string(description(*folder->volumeRole())).c_str(),
                description(folder->capabilities()).c_str());
    const auto window = Platform::JSONDecoder::forAPIResponse().decode<LSResponse>(
        R"({"total_count":2,"offset":0,"limit":100,"entries":[
          {"id":"901","name":"brief.pdf","type":"file","size":48213,"modified_at":"2024-05-02T10:00:00Z"},
          {"id":"902","name":"drafts","type":"folder"}]})");
    for (const auto& child : window.entries) {
        const auto entry = child.entry(folder->identifier(), *folder->volumeRole());
        std::printf("  %-12s role %-7s %s\n", entry->name().c_str(), std::string(description(*entry->volumeRole())).c_str(),
                    description(entry->capabilities()).c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}

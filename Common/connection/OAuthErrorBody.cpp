#include "Common/connection/OAuthErrorBody.h"

#include "Common/connection/RailsError.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

namespace {

struct WireBody {
    std::optional<std::string> error;
    std::optional<std::string> errorDescription;
    static WireBody decode(const Platform::KeyedDecoder& c) {
        return {c.decodeIfPresent<std::string>("error"), c.decodeIfPresent<std::string>("error_description")};
    }
};

}  // namespace

std::optional<OAuthErrorBody> OAuthErrorBody::from(const RailsError& error) {
    const auto data = error.responseData();
    if (error.kind() != RailsError::Case::httpError || !data) return std::nullopt;
    try {
        auto body = Platform::JSONDecoder().decode<WireBody>(*data);
        if (!body.error) return std::nullopt;
        return OAuthErrorBody{std::move(*body.error), std::move(body.errorDescription)};
    } catch (const Platform::DecodingError&) {
        return std::nullopt;
    }
}

std::optional<OAuthErrorBody> OAuthErrorBody::from(const Platform::Error& error) {
    if (const auto* rails = dynamic_cast<const RailsError*>(&error)) return from(*rails);
    return std::nullopt;
}

}  // namespace Common

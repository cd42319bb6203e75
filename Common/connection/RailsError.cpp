#include "Common/connection/RailsError.h"

#include <cstddef>

#include "Platform/core/UTF8.h"
#include "Platform/json/JSONDecoder.h"

namespace Common {

namespace {

// Bodies name the reason under either key, depending on which part of the service answered.
struct ErrorKeyBody {
    std::optional<std::string> error;
    static ErrorKeyBody decode(const Platform::KeyedDecoder& c) { return {c.decodeIfPresent<std::string>("error")}; }
};

struct CodeKeyBody {
    std::optional<std::string> code;
    static CodeKeyBody decode(const Platform::KeyedDecoder& c) { return {c.decodeIfPresent<std::string>("code")}; }
};

template <class T>
std::optional<T> decodeQuietly(const Platform::JSONDecoder& decoder, const Platform::Data& data) {
    try {
        return decoder.decode<T>(data);
    } catch (const Platform::DecodingError&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<RailsError::Reason> RailsError::reason() const {
    if (kind_ != Case::httpError || !responseData_) return std::nullopt;
    // Plain keys: the wire names are looked up as they are.
    const Platform::JSONDecoder decoder;
    if (auto body = decodeQuietly<ErrorKeyBody>(decoder, *responseData_); body && body->error) {
        // An "error" member settles it, even when it names no reason we know.
        return Platform::fromRawValue<Reason>(std::string_view(*body->error));
    }
    if (auto body = decodeQuietly<CodeKeyBody>(decoder, *responseData_); body && body->code) {
        return Platform::fromRawValue<Reason>(std::string_view(*body->code));
    }
    return std::nullopt;
}

std::optional<WebServiceError> RailsError::body() const {
    if (kind_ != Case::httpError || !responseData_) return std::nullopt;
    return decodeQuietly<WebServiceError>(Platform::JSONDecoder::forAPIError(), *responseData_);
}

std::optional<std::string> RailsError::errorDescription() const {
    switch (kind_) {
        case Case::httpError: {
            auto text = "Error status " + std::to_string(static_cast<int>(statusCode_.value_or(HTTPStatusCode{})));
            // Bodies that are not text are left out rather than shown garbled.
            if (responseData_ && Platform::isValidUTF8(*responseData_)) text += " " + *responseData_;
            return text;
        }
        case Case::httpUnexpectedBody: return "データがありません。";
        case Case::cannotGetDownloadURL: return "ダウンロードアドレスを取得できません。";
        case Case::unexpected: return "予期せぬエラーです。";
    }
    return "予期せぬエラーです。";
}

}  // namespace Common

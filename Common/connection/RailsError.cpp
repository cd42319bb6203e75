#include "Common/connection/RailsError.h"

#include <cstddef>

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

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF, no cut-off sequences.
bool isValidUTF8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i < length) return false;
        if (s[i + 1] < low || s[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
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
            if (responseData_ && isValidUTF8(*responseData_)) text += " " + *responseData_;
            return text;
        }
        case Case::httpUnexpectedBody: return "データがありません。";
        case Case::cannotGetDownloadURL: return "ダウンロードアドレスを取得できません。";
        case Case::unexpected: return "予期せぬエラーです。";
    }
    return "予期せぬエラーです。";
}

}  // namespace Common

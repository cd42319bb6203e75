#pragma once

// The decoding layer every wire record goes through. A record reads like its field table:
//
//   WebServiceError WebServiceError::decode(const Platform::KeyedDecoder& c) {
//       return {
//           .type = c.decode<std::string>("type"),
//           .status = c.decode<std::int64_t>("status"),
//           .errors = c.decodeIfPresent<std::string>("errors"),
//           .info = c.decodeIfPresent<WebServiceErrorInfo>("info"),
//       };
//   }
//
// Field names are given as the record spells them (camelCase); with the snake_case key
// strategy a wire key such as item_id matches the name itemId.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"
#include "Platform/json/DecodingError.h"
#include "Platform/time/Date.h"

namespace Platform {

enum class KeyDecodingStrategy { useDefaultKeys, convertFromSnakeCase };

enum class DateDecodingStrategy {
    deferredToDate,  // a number of seconds since 2001-01-01T00:00:00Z
    iso8601,         // ISO 8601 text, with then without fractional seconds
};

// snake_case to camelCase: "item_id" -> "itemId"; leading and trailing underscores stay,
// a key without inner underscores is left as it is.
QUILLO_EXPORT std::string convertFromSnakeCase(std::string_view key);

class JSONValue;
class KeyedDecoder;

// How a type is read from a JSON value. Records need no specialization: a static
// `T decode(const KeyedDecoder&)` member is enough.
template <class T>
struct JSONDecodable;

namespace detail {

struct PathNode {
    const PathNode* parent;
    std::string_view key;
    std::size_t index;
    bool isIndex;
};

struct DecodeContext {
    KeyDecodingStrategy keys;
    DateDecodingStrategy dates;
};

// Room for the parser's element handle without exposing the parser's headers.
struct alignas(8) Handle {
    unsigned char bytes[16];
};

template <class T>
concept KeyedRecord = requires(const KeyedDecoder& c) {
    { T::decode(c) } -> std::convertible_to<T>;
};

template <class T>
constexpr std::string_view integerTypeName() {
    if constexpr (std::is_same_v<T, std::int8_t>) return "Int8";
    else if constexpr (std::is_same_v<T, std::int16_t>) return "Int16";
    else if constexpr (std::is_same_v<T, std::int32_t>) return "Int32";
    else if constexpr (std::is_same_v<T, std::int64_t>) return "Int64";
    else if constexpr (std::is_same_v<T, std::uint8_t>) return "UInt8";
    else if constexpr (std::is_same_v<T, std::uint16_t>) return "UInt16";
    else if constexpr (std::is_same_v<T, std::uint32_t>) return "UInt32";
    else if constexpr (std::is_same_v<T, std::uint64_t>) return "UInt64";
    else return "Integer";
}

}  // namespace detail

// A decoder positioned at one JSON value.
class QUILLO_EXPORT JSONValue {
public:
    bool isNull() const;

    // Strict readers: a string is a string, a boolean a boolean; integers take only
    // integral numbers in range, unsigned ones refuse negatives.
    std::string string() const;
    // The text where it lies in the parsed document: valid until the decode returns.
    std::string_view stringView() const;
    bool boolean() const;
    double number() const;
    std::int64_t int64(std::string_view typeName = "Int64", std::int64_t min = std::numeric_limits<std::int64_t>::min(),
                       std::int64_t max = std::numeric_limits<std::int64_t>::max()) const;
    std::uint64_t uint64(std::string_view typeName = "UInt64",
                         std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) const;
    // By the decoder's date strategy.
    Date date() const;

    KeyedDecoder keyed() const;

    // Elements of an array value, each decoded as T.
    template <class T>
    std::vector<T> array() const {
        std::vector<T> out;
        out.reserve(arrayCount());
        forEachElement([](void* sink, const JSONValue& element) {
            static_cast<std::vector<T>*>(sink)->push_back(JSONDecodable<T>::decode(element));
        }, &out);
        return out;
    }

    template <class T>
    T decode() const {
        return JSONDecodable<T>::decode(*this);
    }

    std::vector<std::string> codingPath() const;
    [[noreturn]] void fail(DecodingError::Kind kind, std::string description) const;

private:
    friend class KeyedDecoder;
    friend class JSONDecoder;
    JSONValue(detail::Handle handle, const detail::PathNode* path, const detail::DecodeContext* context)
        : handle_(handle), path_(path), context_(context) {}

    std::size_t arrayCount() const;
    void forEachElement(void (*body)(void*, const JSONValue&), void* sink) const;
    [[noreturn]] void failType(std::string_view expected) const;
    [[noreturn]] void failNumber(std::string_view typeName, const std::string& text) const;

    detail::Handle handle_;
    const detail::PathNode* path_;
    const detail::DecodeContext* context_;
};

// The members of a JSON object, looked up by field name.
class QUILLO_EXPORT KeyedDecoder {
public:
    // The member must be present and not null.
    template <class T>
    T decode(std::string_view key) const {
        Member member;
        const auto value = find(key, member);
        if (member == Member::absent) keyNotFound(key);
        const detail::PathNode node{path_, key, 0, false};
        return JSONDecodable<T>::decode(JSONValue(value, &node, context_));
    }

    // Absent or null gives no value; anything else must decode.
    template <class T>
    std::optional<T> decodeIfPresent(std::string_view key) const {
        Member member;
        const auto value = find(key, member);
        if (member != Member::present) return std::nullopt;
        const detail::PathNode node{path_, key, 0, false};
        return JSONDecodable<T>::decode(JSONValue(value, &node, context_));
    }

    // Like decodeIfPresent, but a value that does not decode also gives no value.
    template <class T>
    std::optional<T> tolerant(std::string_view key) const {
        try {
            return decodeIfPresent<T>(key);
        } catch (const DecodingError&) {
            return std::nullopt;
        }
    }

    bool contains(std::string_view key) const;
    // Member names as the record would spell them (after key conversion).
    std::vector<std::string> allKeys() const;

    std::vector<std::string> codingPath() const;
    [[noreturn]] void fail(DecodingError::Kind kind, std::string description) const;

private:
    friend class JSONValue;
    KeyedDecoder(detail::Handle object, const detail::PathNode* path, const detail::DecodeContext* context);

    enum class Member { absent, null, present };
    // The member's value, and the cursor moved past it. The handle comes back by value, in
    // registers: passed through memory it was stored in halves and read whole, which the
    // processor cannot forward and stalls on for every field.
    detail::Handle find(std::string_view key, Member& member) const;
    [[noreturn]] void keyNotFound(std::string_view key) const;

    detail::Handle object_;  // the object itself, not the element holding it
    // Members usually arrive in the order records read them: searching from just past
    // the last hit makes each lookup a single comparison in the common case.
    mutable detail::Handle cursor_;
    detail::Handle end_;
    const detail::PathNode* path_;
    const detail::DecodeContext* context_;
};

// Decodes JSON text into records.
class QUILLO_EXPORT JSONDecoder {
public:
    KeyDecodingStrategy keyDecodingStrategy = KeyDecodingStrategy::useDefaultKeys;
    DateDecodingStrategy dateDecodingStrategy = DateDecodingStrategy::deferredToDate;

    // snake_case keys and ISO 8601 dates: the decoder for the service's answers.
    static JSONDecoder forAPIResponse();
    // snake_case keys and default dates: the decoder for the service's error bodies.
    static JSONDecoder forAPIError();

    // Throws DecodingError; text that is not JSON is data-corrupted at the root.
    template <class T>
    T decode(std::string_view json) const {
        std::optional<T> out;
        withRoot(json, [](void* sink, const JSONValue& root) {
            static_cast<std::optional<T>*>(sink)->emplace(JSONDecodable<T>::decode(root));
        }, &out);
        return std::move(*out);
    }

    // As decode, but parses `buffer` where it lies when its spare capacity holds the
    // parser's padding (received bodies keep 64 spare bytes), instead of copying it.
    template <class T>
    T decodeInPlace(const std::string& buffer) const {
        std::optional<T> out;
        withRoot(buffer, [](void* sink, const JSONValue& root) {
            static_cast<std::optional<T>*>(sink)->emplace(JSONDecodable<T>::decode(root));
        }, &out, buffer.capacity() - buffer.size());
        return std::move(*out);
    }

private:
    void withRoot(std::string_view json, void (*body)(void*, const JSONValue&), void* sink,
                  std::size_t spareBytes = 0) const;
};

// --- How the usual types decode ------------------------------------------------------

template <>
struct JSONDecodable<std::string> {
    static std::string decode(const JSONValue& v) { return v.string(); }
};

template <>
struct JSONDecodable<bool> {
    static bool decode(const JSONValue& v) { return v.boolean(); }
};

template <>
struct JSONDecodable<double> {
    static double decode(const JSONValue& v) { return v.number(); }
};

template <std::integral T>
    requires(!std::is_same_v<T, bool>)
struct JSONDecodable<T> {
    static T decode(const JSONValue& v) {
        if constexpr (std::is_signed_v<T>) {
            return static_cast<T>(v.int64(detail::integerTypeName<T>(), std::numeric_limits<T>::min(),
                                          std::numeric_limits<T>::max()));
        } else {
            return static_cast<T>(v.uint64(detail::integerTypeName<T>(), std::numeric_limits<T>::max()));
        }
    }
};

template <>
struct JSONDecodable<Date> {
    static Date decode(const JSONValue& v) { return v.date(); }
};

template <class T>
struct JSONDecodable<std::vector<T>> {
    static std::vector<T> decode(const JSONValue& v) { return v.array<T>(); }
};

template <class T>
struct JSONDecodable<std::optional<T>> {
    static std::optional<T> decode(const JSONValue& v) {
        if (v.isNull()) return std::nullopt;
        return JSONDecodable<T>::decode(v);
    }
};

template <class T>
struct JSONDecodable<std::shared_ptr<T>> {
    static std::shared_ptr<T> decode(const JSONValue& v) {
        return std::make_shared<T>(JSONDecodable<T>::decode(v));
    }
};

template <detail::KeyedRecord T>
struct JSONDecodable<T> {
    static T decode(const JSONValue& v) { return T::decode(v.keyed()); }
};

// Enumerations with raw values: an unknown raw value is data-corrupted.
template <class E>
    requires RawRepresentable<E> && std::is_enum_v<E>
struct JSONDecodable<E> {
    static E decode(const JSONValue& v) {
        using Raw = RawValueType<E>;
        if constexpr (std::is_same_v<Raw, std::string_view>) {
            const auto raw = v.stringView();
            if (auto e = fromRawValue<E>(raw)) return *e;
            v.fail(DecodingError::Kind::dataCorrupted, "Cannot initialize " + std::string(RawValues<E>::typeName) +
                                                           " from invalid String value " + std::string(raw));
        } else {
            auto raw = JSONDecodable<Raw>::decode(v);
            if (auto e = fromRawValue<E>(raw)) return *e;
            v.fail(DecodingError::Kind::dataCorrupted, "Cannot initialize " + std::string(RawValues<E>::typeName) +
                                                           " from invalid Int value " + std::to_string(raw));
        }
    }
};

}  // namespace Platform

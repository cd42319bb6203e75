#include "Platform/json/JSONDecoder.h"

#include <simdjson.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "Platform/time/ISO8601DateFormatter.h"

namespace Platform {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using ObjectIterator = simdjson::dom::object::iterator;

static_assert(sizeof(element) <= sizeof(detail::Handle) && std::is_trivially_copyable_v<element>);
static_assert(sizeof(ObjectIterator) <= sizeof(detail::Handle) && std::is_trivially_copyable_v<ObjectIterator>);

template <class T>
detail::Handle wrap(const T& value) {
    detail::Handle handle{};
    std::memcpy(handle.bytes, &value, sizeof(T));
    return handle;
}

template <class T>
T unwrap(const detail::Handle& handle) {
    T value;
    std::memcpy(static_cast<void*>(&value), handle.bytes, sizeof(T));
    return value;
}

static_assert(sizeof(simdjson::dom::object) <= sizeof(detail::Handle) &&
              std::is_trivially_copyable_v<simdjson::dom::object>);

// Only called on element handles already known to hold an object.
simdjson::dom::object objectOf(const detail::Handle& handle) {
    simdjson::dom::object obj;
    [[maybe_unused]] const auto status = unwrap<element>(handle).get_object().get(obj);
    return obj;
}

// Seconds between 1970-01-01 and 2001-01-01, the reference of the default date strategy.
constexpr double referenceDateOffset = 978307200.0;

std::string_view describe(element_type type) {
    switch (type) {
        case element_type::ARRAY: return "an array";
        case element_type::OBJECT: return "a dictionary";
        case element_type::INT64:
        case element_type::UINT64:
        case element_type::DOUBLE: return "a number";
        case element_type::STRING: return "a string";
        case element_type::BOOL: return "bool";
        case element_type::NULL_VALUE: return "null";
    }
    return "an unknown value";
}

std::vector<std::string> materialize(const detail::PathNode* node) {
    std::vector<std::string> path;
    for (; node; node = node->parent) {
        path.push_back(node->isIndex ? "Index " + std::to_string(node->index) : std::string(node->key));
    }
    return {path.rbegin(), path.rend()};
}

std::string formatNumber(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// Writes the converted form of a snake_case key into `out` without allocating for
// keys of usual length. Returns the converted view.
std::string_view convertInto(std::string_view key, std::array<char, 96>& buffer, std::string& spill) {
    const auto first = key.find_first_not_of('_');
    if (first == std::string_view::npos) return key;
    const auto last = key.find_last_not_of('_');
    const auto middle = key.substr(first, last - first + 1);
    if (middle.find('_') == std::string_view::npos) return key;

    char* out = buffer.data();
    const bool fits = key.size() <= buffer.size();
    if (!fits) {
        spill.assign(key.size(), '\0');
        out = spill.data();
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < first; ++i) out[n++] = '_';
    bool firstComponent = true;
    bool startOfComponent = true;
    for (char c : middle) {
        if (c == '_') {
            if (!startOfComponent) firstComponent = false;
            startOfComponent = true;
            continue;
        }
        const auto uc = static_cast<unsigned char>(c);
        if (startOfComponent && !firstComponent) {
            out[n++] = (uc >= 'a' && uc <= 'z') ? static_cast<char>(uc - 32) : c;
        } else {
            out[n++] = (uc >= 'A' && uc <= 'Z') ? static_cast<char>(uc + 32) : c;
        }
        startOfComponent = false;
    }
    for (std::size_t i = last + 1; i < key.size(); ++i) out[n++] = '_';
    return {out, n};
}

// convertInto(wire) == name for any key, without building the converted key.
bool anySnakeCaseKeyMatches(std::string_view wire, std::string_view name) {
    if (wire.find('_') == std::string_view::npos) return wire == name;
    const auto first = wire.find_first_not_of('_');
    if (first == std::string_view::npos) return wire == name;
    const auto last = wire.find_last_not_of('_');
    const auto middle = wire.substr(first, last - first + 1);
    if (middle.find('_') == std::string_view::npos) return wire == name;

    const std::size_t trailing = wire.size() - 1 - last;
    if (name.size() < first + trailing) return false;
    for (std::size_t i = 0; i < first; ++i) {
        if (name[i] != '_') return false;
    }
    for (std::size_t i = name.size() - trailing; i < name.size(); ++i) {
        if (name[i] != '_') return false;
    }
    const std::size_t end = name.size() - trailing;
    std::size_t n = first;
    bool firstComponent = true;
    bool startOfComponent = true;
    for (const char c : middle) {
        if (c == '_') {
            if (!startOfComponent) firstComponent = false;
            startOfComponent = true;
            continue;
        }
        const auto uc = static_cast<unsigned char>(c);
        char converted = c;
        if (startOfComponent && !firstComponent) {
            if (uc >= 'a' && uc <= 'z') converted = static_cast<char>(uc - 32);
        } else if (uc >= 'A' && uc <= 'Z') {
            converted = static_cast<char>(uc + 32);
        }
        if (n == end || name[n] != converted) return false;
        ++n;
        startOfComponent = false;
    }
    return n == end;
}

// The same answer for the keys the service sends (lower case, digits, inner underscores)
// in one pass: each '_' drops out and upper-cases the letter after it. Every member
// lookup compares keys, so this runs once or more per decoded field. Keys with an upper
// case letter or an underscore at either end take the general way.
bool snakeCaseKeyMatches(std::string_view wire, std::string_view name) {
    if (wire.empty() || wire.front() == '_' || wire.back() == '_') return anySnakeCaseKeyMatches(wire, name);
    // First the run that converts to itself (no '_', no upper case): a plain comparison.
    const std::size_t common = std::min(wire.size(), name.size());
    std::size_t n = 0;
    while (n < common && wire[n] == name[n] && wire[n] != '_' && !(wire[n] >= 'A' && wire[n] <= 'Z')) ++n;
    bool startOfComponent = false;
    for (const char c : wire.substr(n)) {
        if (c == '_') {
            startOfComponent = true;
            continue;
        }
        if (c >= 'A' && c <= 'Z') return anySnakeCaseKeyMatches(wire, name);
        const char converted = startOfComponent && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        if (n == name.size() || name[n] != converted) return false;
        ++n;
        startOfComponent = false;
    }
    return n == name.size();
}

bool keyMatches(std::string_view wire, std::string_view name, KeyDecodingStrategy strategy) {
    if (strategy == KeyDecodingStrategy::useDefaultKeys) return wire == name;
    return snakeCaseKeyMatches(wire, name);
}

// One parser per thread, reused; a decode started from inside another decode on the
// same thread (rare) gets a parser of its own so the outer document stays valid.
thread_local simdjson::dom::parser threadParser;
thread_local int threadParserDepth = 0;

struct DepthGuard {
    DepthGuard() { ++threadParserDepth; }
    ~DepthGuard() { --threadParserDepth; }
};

}  // namespace

std::string convertFromSnakeCase(std::string_view key) {
    std::array<char, 96> buffer;
    std::string spill;
    return std::string(convertInto(key, buffer, spill));
}

// --- JSONValue ---------------------------------------------------------------------

bool JSONValue::isNull() const { return unwrap<element>(handle_).is_null(); }

std::vector<std::string> JSONValue::codingPath() const { return materialize(path_); }

void JSONValue::fail(DecodingError::Kind kind, std::string description) const {
    throw DecodingError(kind, codingPath(), std::move(description));
}

void JSONValue::failType(std::string_view expected) const {
    const auto type = unwrap<element>(handle_).type();
    if (type == element_type::NULL_VALUE) {
        fail(DecodingError::Kind::valueNotFound, "Expected " + std::string(expected) + " value but found null instead.");
    }
    fail(DecodingError::Kind::typeMismatch,
         "Expected to decode " + std::string(expected) + " but found " + std::string(describe(type)) + " instead.");
}

std::string JSONValue::string() const { return std::string(stringView()); }

std::string_view JSONValue::stringView() const {
    std::string_view text;
    if (unwrap<element>(handle_).get_string().get(text) != simdjson::SUCCESS) failType("String");
    return text;
}

bool JSONValue::boolean() const {
    bool value = false;
    if (unwrap<element>(handle_).get_bool().get(value) != simdjson::SUCCESS) failType("Bool");
    return value;
}

double JSONValue::number() const {
    const auto e = unwrap<element>(handle_);
    switch (e.type()) {
        case element_type::INT64: return static_cast<double>(e.get_int64().value_unsafe());
        case element_type::UINT64: return static_cast<double>(e.get_uint64().value_unsafe());
        case element_type::DOUBLE: return e.get_double().value_unsafe();
        default: failType("Double");
    }
}

std::int64_t JSONValue::int64(std::string_view typeName, std::int64_t min, std::int64_t max) const {
    const auto e = unwrap<element>(handle_);
    switch (e.type()) {
        case element_type::INT64: {
            const auto v = e.get_int64().value_unsafe();
            if (v < min || v > max) failNumber(typeName, std::to_string(v));
            return v;
        }
        case element_type::UINT64: failNumber(typeName, std::to_string(e.get_uint64().value_unsafe()));
        case element_type::DOUBLE: {
            const double d = e.get_double().value_unsafe();
            // 2^63 is the first double past the int64 range.
            if (!(std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
                failNumber(typeName, formatNumber(d));
            }
            const auto v = static_cast<std::int64_t>(d);
            if (v < min || v > max) failNumber(typeName, formatNumber(d));
            return v;
        }
        default: failType(typeName);
    }
}

std::uint64_t JSONValue::uint64(std::string_view typeName, std::uint64_t max) const {
    const auto e = unwrap<element>(handle_);
    switch (e.type()) {
        case element_type::INT64: {
            const auto v = e.get_int64().value_unsafe();
            if (v < 0 || static_cast<std::uint64_t>(v) > max) failNumber(typeName, std::to_string(v));
            return static_cast<std::uint64_t>(v);
        }
        case element_type::UINT64: {
            const auto v = e.get_uint64().value_unsafe();
            if (v > max) failNumber(typeName, std::to_string(v));
            return v;
        }
        case element_type::DOUBLE: {
            const double d = e.get_double().value_unsafe();
            if (!(std::trunc(d) == d && d >= 0.0 && d < 18446744073709551616.0)) failNumber(typeName, formatNumber(d));
            const auto v = static_cast<std::uint64_t>(d);
            if (v > max) failNumber(typeName, formatNumber(d));
            return v;
        }
        default: failType(typeName);
    }
}

Date JSONValue::date() const {
    if (context_->dates == DateDecodingStrategy::deferredToDate) {
        return Date{number() + referenceDateOffset};
    }
    const auto text = stringView();
    // Only a text with a fraction can be one: spare the other parser the attempt.
    const bool hasFraction = text.size() > 19 && text[19] == '.';
    const auto& formatter = hasFraction ? ISO8601DateFormatter::withFractionalSeconds()
                                        : ISO8601DateFormatter::internetDateTime();
    if (auto date = formatter.date(text)) return *date;
    fail(DecodingError::Kind::dataCorrupted, "Failed to decode date from string: " + std::string(text));
}

void JSONValue::failNumber(std::string_view typeName, const std::string& text) const {
    fail(DecodingError::Kind::dataCorrupted,
         "Parsed JSON number <" + text + "> does not fit in " + std::string(typeName) + ".");
}

KeyedDecoder JSONValue::keyed() const {
    const auto e = unwrap<element>(handle_);
    if (e.type() != element_type::OBJECT) failType("Dictionary<String, Any>");
    return KeyedDecoder(handle_, path_, context_);
}

std::size_t JSONValue::arrayCount() const {
    simdjson::dom::array array;
    if (unwrap<element>(handle_).get_array().get(array) != simdjson::SUCCESS) return 0;
    return array.size();
}

void JSONValue::forEachElement(void (*body)(void*, const JSONValue&), void* sink) const {
    simdjson::dom::array array;
    if (unwrap<element>(handle_).get_array().get(array) != simdjson::SUCCESS) failType("Array<Any>");
    std::size_t index = 0;
    for (element item : array) {
        detail::PathNode node{path_, {}, index++, true};
        body(sink, JSONValue(wrap(item), &node, context_));
    }
}

// --- KeyedDecoder ------------------------------------------------------------------

KeyedDecoder::KeyedDecoder(detail::Handle object, const detail::PathNode* path, const detail::DecodeContext* context)
    : object_(wrap(objectOf(object))), path_(path), context_(context) {
    const auto obj = unwrap<simdjson::dom::object>(object_);
    cursor_ = wrap(obj.begin());
    end_ = wrap(obj.end());
}

detail::Handle KeyedDecoder::find(std::string_view key, Member& member) const {
    const auto end = unwrap<ObjectIterator>(end_);
    const auto start = unwrap<ObjectIterator>(cursor_);
    const auto strategy = context_->keys;
    const auto hit = [&](ObjectIterator it) {
        const element value = it.value();
        member = value.is_null() ? Member::null : Member::present;
        cursor_ = wrap(++it);
        return wrap(value);
    };
    for (auto it = start; it != end; ++it) {
        if (keyMatches(it.key(), key, strategy)) return hit(it);
    }
    for (auto it = unwrap<simdjson::dom::object>(object_).begin(); it != start; ++it) {
        if (keyMatches(it.key(), key, strategy)) return hit(it);
    }
    member = Member::absent;
    return {};
}

bool KeyedDecoder::contains(std::string_view key) const {
    Member member;
    (void)find(key, member);
    return member != Member::absent;
}

std::vector<std::string> KeyedDecoder::allKeys() const {
    const auto obj = unwrap<simdjson::dom::object>(object_);
    std::vector<std::string> keys;
    for (auto field : obj) {
        keys.push_back(context_->keys == KeyDecodingStrategy::convertFromSnakeCase ? convertFromSnakeCase(field.key)
                                                                                     : std::string(field.key));
    }
    return keys;
}

std::vector<std::string> KeyedDecoder::codingPath() const { return materialize(path_); }

void KeyedDecoder::fail(DecodingError::Kind kind, std::string description) const {
    throw DecodingError(kind, codingPath(), std::move(description));
}

void KeyedDecoder::keyNotFound(std::string_view key) const {
    auto path = codingPath();
    throw DecodingError(DecodingError::Kind::keyNotFound, std::move(path),
                        "No value associated with key \"" + std::string(key) + "\".");
}

// --- JSONDecoder -------------------------------------------------------------------

JSONDecoder JSONDecoder::forAPIResponse() {
    return JSONDecoder{KeyDecodingStrategy::convertFromSnakeCase, DateDecodingStrategy::iso8601};
}

JSONDecoder JSONDecoder::forAPIError() {
    return JSONDecoder{KeyDecodingStrategy::convertFromSnakeCase, DateDecodingStrategy::deferredToDate};
}

void JSONDecoder::withRoot(std::string_view json, void (*body)(void*, const JSONValue&), void* sink,
                           std::size_t spareBytes) const {
    const detail::DecodeContext context{keyDecodingStrategy, dateDecodingStrategy};
    DepthGuard guard;
    std::unique_ptr<simdjson::dom::parser> nested;
    auto* parser = &threadParser;
    if (threadParserDepth > 1) {
        nested = std::make_unique<simdjson::dom::parser>();
        parser = nested.get();
    }
    element root;
    const bool padded = spareBytes >= simdjson::SIMDJSON_PADDING;
    const auto status = parser->parse(json.data(), json.size(), !padded).get(root);
    if (status != simdjson::SUCCESS) {
        throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                            std::string("The given data was not valid JSON. (") + simdjson::error_message(status) + ")");
    }
    body(sink, JSONValue(wrap(root), nullptr, &context));
}

}  // namespace Platform

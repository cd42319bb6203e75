#include "Platform/archive/internal/ArchiveFormat.h"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "Platform/archive/ArchiveError.h"
#include "Platform/core/UTF8.h"

namespace Platform::detail {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// A path of nested objects takes at most four JSON levels per object (node, "$values",
// tag, array), plus the envelope and a leaf's tag.
constexpr std::size_t kMaxJSONDepth = 4 * kMaxObjectDepth + 8;

struct Path {
    const Path* parent;
    std::string_view key;
    std::size_t index;
    bool isIndex;
};

std::string render(const Path* path) {
    std::vector<const Path*> nodes;
    for (; path; path = path->parent) nodes.push_back(path);
    std::string out;
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        if ((*it)->isIndex) {
            out += '[' + std::to_string((*it)->index) + ']';
        } else {
            if (!out.empty()) out += '.';
            out += (*it)->key == archiveKey::root ? std::string_view("root") : (*it)->key;
        }
    }
    return out.empty() ? "archive" : out;
}

[[noreturn]] void corrupt(const Path* path, std::string_view what) {
    throw ArchiveError(ArchiveError::Kind::corruptData,
                       "The archive is damaged at '" + render(path) + "': " + std::string(what) + ".");
}

// Records are promised UTF-8 text, whatever a parser's escapes might let through.
std::string utf8(std::string_view text, const Path* path) {
    if (!isValidUTF8(text)) corrupt(path, "text that is not UTF-8");
    return std::string(text);
}

// Members of a JSON object, refusing duplicate keys (the parser keeps them all).
std::vector<std::pair<std::string_view, element>> membersOf(simdjson::dom::object object, const Path* path) {
    std::vector<std::pair<std::string_view, element>> members;
    for (auto field : object) members.emplace_back(field.key, field.value);
    std::vector<std::string_view> keys;
    keys.reserve(members.size());
    for (const auto& member : members) keys.push_back(member.first);
    std::sort(keys.begin(), keys.end());
    if (auto dup = std::adjacent_find(keys.begin(), keys.end()); dup != keys.end()) {
        corrupt(path, "duplicate key '" + std::string(*dup) + "'");
    }
    return members;
}

double realFrom(element value, const Path* path) {
    switch (value.type()) {
        case element_type::DOUBLE: return value.get_double().value_unsafe();
        case element_type::INT64: return static_cast<double>(value.get_int64().value_unsafe());
        case element_type::UINT64: return static_cast<double>(value.get_uint64().value_unsafe());
        case element_type::STRING: {
            const auto text = value.get_string().value_unsafe();
            if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
            if (text == "inf") return std::numeric_limits<double>::infinity();
            if (text == "-inf") return -std::numeric_limits<double>::infinity();
            break;
        }
        default: break;
    }
    corrupt(path, "expected a number");
}

class Reader {
public:
    ArchivedObject object(simdjson::dom::object json, int depth, const Path* path) {
        if (depth > kMaxObjectDepth) corrupt(path, "objects are nested more than " + std::to_string(kMaxObjectDepth) + " deep");
        const auto members = membersOf(json, path);
        if (members.size() != 2) corrupt(path, "an object needs exactly \"$class\" and \"$values\"");
        ArchivedObject out;
        std::optional<element> values;
        for (const auto& [key, value] : members) {
            if (key == archiveKey::className) {
                std::string_view name;
                if (value.get_string().get(name) != simdjson::SUCCESS || name.empty()) {
                    corrupt(path, "the class name is not a non-empty string");
                }
                out.className = utf8(name, path);
            } else if (key == archiveKey::values) {
                values = value;
            } else {
                corrupt(path, "unexpected key '" + std::string(key) + "' in an object");
            }
        }
        simdjson::dom::object valuesObject;
        if (!values || values->get_object().get(valuesObject) != simdjson::SUCCESS) {
            corrupt(path, "an object needs exactly \"$class\" and \"$values\"");
        }
        for (const auto& [key, value] : membersOf(valuesObject, path)) {
            const Path child{path, key, 0, false};
            out.values.emplace_back(utf8(key, &child), this->value(value, depth, &child));
        }
        std::sort(out.values.begin(), out.values.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        return out;
    }

    // A value held by an object at `depth`.
    ArchivedValue value(element json, int depth, const Path* path) {
        ArchivedValue out;
        if (json.is_null()) return out;
        simdjson::dom::object tagged;
        if (json.get_object().get(tagged) != simdjson::SUCCESS) corrupt(path, "a value must be null or an object");
        if (!tagged[archiveKey::className].error()) {
            out.kind = ArchivedValue::Kind::object;
            out.objects.push_back(object(tagged, depth + 1, path));
            return out;
        }
        const auto members = membersOf(tagged, path);
        if (members.size() != 1) corrupt(path, "a value must carry exactly one type tag");
        const auto& [tag, content] = members.front();
        if (tag == archiveTag::string) {
            std::string_view text;
            if (content.get_string().get(text) != simdjson::SUCCESS) corrupt(path, "expected a string");
            out.kind = ArchivedValue::Kind::string;
            out.text = utf8(text, path);
        } else if (tag == archiveTag::integer) {
            if (content.get_int64().get(out.integer) != simdjson::SUCCESS) corrupt(path, "expected a 64-bit integer");
            out.kind = ArchivedValue::Kind::integer;
        } else if (tag == archiveTag::real || tag == archiveTag::date) {
            out.kind = tag == archiveTag::real ? ArchivedValue::Kind::real : ArchivedValue::Kind::date;
            out.real = realFrom(content, path);
        } else if (tag == archiveTag::boolean) {
            if (content.get_bool().get(out.boolean) != simdjson::SUCCESS) corrupt(path, "expected a boolean");
            out.kind = ArchivedValue::Kind::boolean;
        } else if (tag == archiveTag::data) {
            std::string_view text;
            if (content.get_string().get(text) != simdjson::SUCCESS || !base64Decode(text, out.text)) {
                corrupt(path, "expected base64 text");
            }
            out.kind = ArchivedValue::Kind::data;
        } else if (tag == archiveTag::objects) {
            simdjson::dom::array array;
            if (content.get_array().get(array) != simdjson::SUCCESS) corrupt(path, "expected an array of objects");
            out.kind = ArchivedValue::Kind::objects;
            std::size_t index = 0;
            for (auto element : array) {
                const Path child{path, {}, index++, true};
                simdjson::dom::object object;
                if (element.get_object().get(object) != simdjson::SUCCESS) corrupt(&child, "expected an object");
                out.objects.push_back(this->object(object, depth + 1, &child));
            }
        } else if (tag == archiveTag::strings) {
            simdjson::dom::array array;
            if (content.get_array().get(array) != simdjson::SUCCESS) corrupt(path, "expected an array of strings");
            out.kind = ArchivedValue::Kind::strings;
            std::size_t index = 0;
            for (auto element : array) {
                const Path child{path, {}, index++, true};
                std::string_view text;
                if (element.get_string().get(text) != simdjson::SUCCESS) corrupt(&child, "expected a string");
                out.strings.push_back(utf8(text, &child));
            }
        } else {
            corrupt(path, "unknown type tag '" + std::string(tag) + "'");
        }
        return out;
    }
};

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> base64Table() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) entry = -1;
    for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
        table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

}  // namespace

ArchivedValue::ArchivedValue() = default;
ArchivedValue::ArchivedValue(ArchivedValue&&) noexcept = default;
ArchivedValue& ArchivedValue::operator=(ArchivedValue&&) noexcept = default;
ArchivedValue::~ArchivedValue() = default;

ArchivedObject::ArchivedObject() = default;
ArchivedObject::ArchivedObject(ArchivedObject&&) noexcept = default;
ArchivedObject& ArchivedObject::operator=(ArchivedObject&&) noexcept = default;
ArchivedObject::~ArchivedObject() = default;

const ArchivedValue* ArchivedObject::find(std::string_view key) const {
    auto it = std::lower_bound(values.begin(), values.end(), key,
                               [](const auto& entry, std::string_view k) { return entry.first < k; });
    return it != values.end() && it->first == key ? &it->second : nullptr;
}

std::string_view describe(ArchivedValue::Kind kind) {
    switch (kind) {
        case ArchivedValue::Kind::nil: return "nil";
        case ArchivedValue::Kind::string: return "string";
        case ArchivedValue::Kind::integer: return "integer";
        case ArchivedValue::Kind::real: return "double";
        case ArchivedValue::Kind::boolean: return "bool";
        case ArchivedValue::Kind::date: return "date";
        case ArchivedValue::Kind::data: return "data";
        case ArchivedValue::Kind::object: return "object";
        case ArchivedValue::Kind::objects: return "array of objects";
        case ArchivedValue::Kind::strings: return "array of strings";
    }
    return "value";
}

ArchivedObject parseArchive(std::string_view bytes) {
    if (bytes.size() > kMaxArchiveBytes) corrupt(nullptr, "larger than " + std::to_string(kMaxArchiveBytes) + " bytes");
    simdjson::dom::parser parser;
    if (auto error = parser.allocate(std::max<std::size_t>(bytes.size(), 64), kMaxJSONDepth)) {
        corrupt(nullptr, simdjson::error_message(error));
    }
    element document;
    if (auto error = parser.parse(bytes.data(), bytes.size(), true).get(document)) {
        corrupt(nullptr, std::string("not JSON (") + simdjson::error_message(error) + ")");
    }
    simdjson::dom::object envelope;
    if (document.get_object().get(envelope) != simdjson::SUCCESS) corrupt(nullptr, "not an archive object");

    std::string_view archiver;
    std::int64_t version = 0;
    std::optional<element> root;
    bool hasVersion = false;
    for (const auto& [key, value] : membersOf(envelope, nullptr)) {
        if (key == archiveKey::archiver) {
            if (value.get_string().get(archiver) != simdjson::SUCCESS) corrupt(nullptr, "\"$archiver\" is not a string");
        } else if (key == archiveKey::version) {
            if (value.type() != element_type::INT64 || value.get_int64().get(version) != simdjson::SUCCESS) {
                corrupt(nullptr, "\"$version\" is not an integer");
            }
            hasVersion = true;
        } else if (key == archiveKey::root) {
            root = value;
        } else {
            corrupt(nullptr, "unexpected key '" + std::string(key) + "'");
        }
    }
    if (archiver != kArchiverName) corrupt(nullptr, "not written by this archiver");
    if (!hasVersion || version != kArchiveVersion) {
        corrupt(nullptr, "unsupported archive version " + (hasVersion ? std::to_string(version) : std::string("(none)")));
    }
    if (!root) corrupt(nullptr, "no \"$root\"");

    const Path rootPath{nullptr, archiveKey::root, 0, false};
    Reader reader;
    auto rootValue = reader.value(*root, 0, &rootPath);
    if (rootValue.kind != ArchivedValue::Kind::object && rootValue.kind != ArchivedValue::Kind::objects) {
        corrupt(&rootPath, "the root is neither an object nor an array of objects");
    }
    ArchivedObject top;
    top.values.emplace_back(std::string(archiveKey::root), std::move(rootValue));
    return top;
}

std::string base64Encoded(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto byte = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto triple = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6) out += kBase64Alphabet[(triple >> shift) & 0x3F];
    }
    if (const auto rest = bytes.size() - i; rest > 0) {
        const auto triple = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
        out += kBase64Alphabet[(triple >> 18) & 0x3F];
        out += kBase64Alphabet[(triple >> 12) & 0x3F];
        out += rest == 2 ? kBase64Alphabet[(triple >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

bool base64Decode(std::string_view text, std::string& out) {
    static constexpr auto table = base64Table();
    if (text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    out.clear();
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t digits = last ? 4 - padding : 4;
        std::uint32_t quad = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            std::int8_t v = 0;
            if (k < digits) {
                v = table[static_cast<unsigned char>(text[i + k])];
                if (v < 0) return false;
            }
            quad = quad << 6 | static_cast<std::uint32_t>(v);
        }
        // Bits the padding hides must be zero, so each byte string has one spelling.
        if ((digits == 3 && (quad & 0xFF) != 0) || (digits == 2 && (quad & 0xFFFF) != 0)) return false;
        out += static_cast<char>(quad >> 16);
        if (digits > 2) out += static_cast<char>((quad >> 8) & 0xFF);
        if (digits > 3) out += static_cast<char>(quad & 0xFF);
    }
    return true;
}

std::string_view nonFiniteName(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return {};
}

}  // namespace Platform::detail

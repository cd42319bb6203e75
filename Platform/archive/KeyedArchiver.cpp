#include "Platform/archive/KeyedArchiver.h"

#include <nlohmann/json.hpp>

#include "Platform/archive/internal/ArchiveFormat.h"
#include "Platform/core/UTF8.h"

namespace Platform {

namespace {

using nlohmann::json;

[[noreturn]] void unencodable(const std::string& path, std::string_view why) {
    throw ArchiveError(ArchiveError::Kind::unencodableValue,
                       "The value for key '" + path + "' can't be archived: " + std::string(why) + ".");
}

json tagged(std::string_view tag, json value) {
    json out = json::object();
    out[std::string(tag)] = std::move(value);
    return out;
}

json realValue(double value) {
    if (auto name = detail::nonFiniteName(value); !name.empty()) return std::string(name);
    return value;
}

json newObject(const std::string& className) {
    json node = json::object();
    node[std::string(detail::archiveKey::className)] = className;
    node[std::string(detail::archiveKey::values)] = json::object();
    return node;
}

}  // namespace

KeyedArchiver::KeyedArchiver(bool requiringSecureCoding)
    : requiringSecureCoding_(requiringSecureCoding), document_(std::make_unique<json>(json::object())),
      values_(document_.get()) {}

KeyedArchiver::KeyedArchiver(const KeyedArchiver& parent, json& values, std::string path)
    : requiringSecureCoding_(parent.requiringSecureCoding_), depth_(parent.depth_ + 1), values_(&values),
      path_(std::move(path)) {}

KeyedArchiver::~KeyedArchiver() = default;

std::string_view KeyedArchiver::rootKey() { return detail::archiveKey::root; }

Data KeyedArchiver::finish() {
    json& document = *document_;
    document[std::string(detail::archiveKey::archiver)] = detail::kArchiverName;
    document[std::string(detail::archiveKey::version)] = detail::kArchiveVersion;
    try {
        return document.dump();
    } catch (const json::exception& e) {
        // Every string was checked on the way in; this only guards against a gap there.
        throw ArchiveError(ArchiveError::Kind::unencodableValue, std::string("The archive can't be written: ") + e.what());
    }
}

std::string KeyedArchiver::pathOf(std::string_view key) const {
    // The top-level archiver holds nothing but the root.
    if (document_) return "root";
    return path_ + "." + std::string(key);
}

json& KeyedArchiver::slot(std::string_view key) {
    if (!isValidUTF8(key)) unencodable(pathOf(key), "the key is not UTF-8");
    return (*values_)[std::string(key)];
}

void KeyedArchiver::encode(std::string_view key, const std::string& value) { encode(key, std::string_view(value)); }

void KeyedArchiver::encode(std::string_view key, std::string_view value) {
    if (!isValidUTF8(value)) unencodable(pathOf(key), "the string is not UTF-8 (archive bytes with encodeData)");
    slot(key) = tagged(detail::archiveTag::string, std::string(value));
}

void KeyedArchiver::encode(std::string_view key, std::int64_t value) {
    slot(key) = tagged(detail::archiveTag::integer, value);
}

void KeyedArchiver::encode(std::string_view key, double value) {
    slot(key) = tagged(detail::archiveTag::real, realValue(value));
}

void KeyedArchiver::encode(std::string_view key, bool value) { slot(key) = tagged(detail::archiveTag::boolean, value); }

void KeyedArchiver::encode(std::string_view key, Date value) {
    slot(key) = tagged(detail::archiveTag::date, realValue(value.timeIntervalSince1970));
}

void KeyedArchiver::encodeData(std::string_view key, const Data& value) {
    slot(key) = tagged(detail::archiveTag::data, detail::base64Encoded(value));
}

void KeyedArchiver::encodeData(std::string_view key, const std::optional<Data>& value) {
    if (value) {
        encodeData(key, *value);
    } else {
        encode(key, std::nullopt);
    }
}

void KeyedArchiver::encode(std::string_view key, std::nullopt_t) { slot(key) = nullptr; }

void KeyedArchiver::encodeStrings(std::string_view key, const std::vector<std::string>& values) {
    json array = json::array();
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!isValidUTF8(values[i])) {
            unencodable(pathOf(key) + "[" + std::to_string(i) + "]", "the string is not UTF-8");
        }
        array.push_back(values[i]);
    }
    slot(key) = tagged(detail::archiveTag::strings, std::move(array));
}

void KeyedArchiver::checkDepthAndClass(const detail::ArchiveClass& cls, const std::string& path) const {
    if (depth_ + 1 > detail::kMaxObjectDepth) {
        unencodable(path, "objects are nested more than " + std::to_string(detail::kMaxObjectDepth) +
                              " deep (a reference cycle?)");
    }
    if (requiringSecureCoding_ && !cls.supportsSecureCoding) {
        throw ArchiveError(ArchiveError::Kind::secureCodingNotSupported,
                           "The value for key '" + path + "' is of class " + std::string(cls.defaultName) +
                               ", which does not support secure coding.");
    }
}

KeyedArchiver KeyedArchiver::beginObject(std::string_view key, const detail::ArchiveClass& cls) {
    auto path = pathOf(key);
    checkDepthAndClass(cls, path);
    json& node = slot(key);
    node = newObject(ArchiveClassRegistry::shared().archiverClassName(cls));
    return KeyedArchiver(*this, node[std::string(detail::archiveKey::values)], std::move(path));
}

void KeyedArchiver::beginObjects(std::string_view key) {
    slot(key) = tagged(detail::archiveTag::objects, json::array());
}

KeyedArchiver KeyedArchiver::appendObject(std::string_view key, std::size_t index, const detail::ArchiveClass& cls) {
    auto path = pathOf(key) + "[" + std::to_string(index) + "]";
    checkDepthAndClass(cls, path);
    json& array = slot(key)[std::string(detail::archiveTag::objects)];
    array.push_back(newObject(ArchiveClassRegistry::shared().archiverClassName(cls)));
    // Only the newest element is written to, so growing the array later is harmless.
    return KeyedArchiver(*this, array.back()[std::string(detail::archiveKey::values)], std::move(path));
}

void KeyedArchiver::integerOutOfRange(std::string_view key) const {
    unencodable(pathOf(key), "the integer does not fit in 64 signed bits");
}

void KeyedArchiver::nullElement(std::string_view key, std::size_t index) const {
    unencodable(pathOf(key) + "[" + std::to_string(index) + "]", "arrays hold objects, not nil");
}

}  // namespace Platform

#include "Platform/archive/KeyedUnarchiver.h"

#include "Platform/archive/internal/ArchiveFormat.h"

namespace Platform {

using detail::ArchivedObject;
using detail::ArchivedValue;

KeyedUnarchiver::KeyedUnarchiver(const Data& bytes, bool secure)
    : secure_(secure), document_(std::make_shared<const ArchivedObject>(detail::parseArchive(bytes))),
      object_(document_.get()) {}

KeyedUnarchiver::KeyedUnarchiver(const KeyedUnarchiver& parent, std::string_view key, std::size_t index,
                                 const ArchivedObject& object)
    : secure_(parent.secure_), object_(&object), parent_(&parent), key_(key), index_(index) {}

KeyedUnarchiver::~KeyedUnarchiver() = default;

std::string KeyedUnarchiver::path() const {
    if (!parent_) return {};
    auto out = parent_->pathOf(key_);
    if (index_ != kNoIndex) out += "[" + std::to_string(index_) + "]";
    return out;
}

std::string KeyedUnarchiver::pathOf(std::string_view key) const {
    if (!parent_) return key == detail::archiveKey::root ? std::string("root") : std::string(key);
    return path() + "." + std::string(key);
}

bool KeyedUnarchiver::containsValue(std::string_view key) const { return object_->find(key) != nullptr; }

std::vector<std::string> KeyedUnarchiver::allKeys() const {
    std::vector<std::string> keys;
    keys.reserve(object_->values.size());
    for (const auto& entry : object_->values) keys.push_back(entry.first);
    return keys;
}

const ArchivedValue* KeyedUnarchiver::valueFor(std::string_view key, ArchivedValue::Kind kind) const {
    const auto* value = object_->find(key);
    if (!value || value->kind == ArchivedValue::Kind::nil) return nullptr;
    if (value->kind == kind) return value;
    if (!secure_) return nullptr;
    throw ArchiveError(ArchiveError::Kind::valueOfWrongClass,
                       "The value for key '" + pathOf(key) + "' is not of the expected class (expected " +
                           std::string(detail::describe(kind)) + ", found " + std::string(detail::describe(value->kind)) +
                           ").");
}

bool KeyedUnarchiver::admits(const ArchivedObject& object, const detail::ArchiveClass& cls,
                             const std::string& path) const {
    if (secure_ && !cls.supportsSecureCoding) {
        throw ArchiveError(ArchiveError::Kind::secureCodingNotSupported,
                           "The object at '" + path + "' would be read as class " + std::string(cls.defaultName) +
                               ", which does not support secure coding.");
    }
    switch (ArchiveClassRegistry::shared().resolve(object.className, cls)) {
        case ArchiveClassRegistry::Match::requested: return true;
        case ArchiveClassRegistry::Match::unknown:
            throw ArchiveError(ArchiveError::Kind::unknownClass,
                               "The object at '" + path + "' is of class '" + object.className +
                                   "', which no class is registered for.");
        case ArchiveClassRegistry::Match::other: break;
    }
    if (!secure_) return false;
    throw ArchiveError(ArchiveError::Kind::classNotAllowed,
                       "The object at '" + path + "' is of class '" + object.className +
                           "', which is not allowed where " + std::string(cls.defaultName) + " is expected.");
}

const ArchivedObject* KeyedUnarchiver::objectFor(std::string_view key, const detail::ArchiveClass& cls) const {
    const auto* value = valueFor(key, ArchivedValue::Kind::object);
    if (!value) return nullptr;
    const auto& object = value->objects.front();
    return admits(object, cls, pathOf(key)) ? &object : nullptr;
}

std::optional<std::vector<const ArchivedObject*>> KeyedUnarchiver::objectsFor(std::string_view key,
                                                                              const detail::ArchiveClass& cls) const {
    const auto* value = valueFor(key, ArchivedValue::Kind::objects);
    if (!value) return std::nullopt;
    // All elements are checked before any is decoded: a mixed array reads as nothing.
    std::vector<const ArchivedObject*> objects;
    objects.reserve(value->objects.size());
    for (std::size_t i = 0; i < value->objects.size(); ++i) {
        if (!admits(value->objects[i], cls, pathOf(key) + "[" + std::to_string(i) + "]")) return std::nullopt;
        objects.push_back(&value->objects[i]);
    }
    return objects;
}

std::string_view KeyedUnarchiver::rootKey() noexcept { return detail::archiveKey::root; }

const std::string& KeyedUnarchiver::className() const noexcept { return object_->className; }

std::optional<std::string> KeyedUnarchiver::decodeString(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::string)) return value->text;
    return std::nullopt;
}

std::optional<std::int64_t> KeyedUnarchiver::decodeInt64(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::integer)) return value->integer;
    return std::nullopt;
}

std::optional<double> KeyedUnarchiver::decodeDouble(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::real)) return value->real;
    return std::nullopt;
}

std::optional<bool> KeyedUnarchiver::decodeBool(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::boolean)) return value->boolean;
    return std::nullopt;
}

std::optional<Date> KeyedUnarchiver::decodeDate(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::date)) return Date{value->real};
    return std::nullopt;
}

std::optional<Data> KeyedUnarchiver::decodeData(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::data)) return value->text;
    return std::nullopt;
}

std::optional<std::vector<std::string>> KeyedUnarchiver::decodeStrings(std::string_view key) const {
    if (const auto* value = valueFor(key, ArchivedValue::Kind::strings)) return value->strings;
    return std::nullopt;
}

void KeyedUnarchiver::failWithCorruptData(std::string_view reason) const {
    const auto where = path();
    throw ArchiveError(ArchiveError::Kind::corruptData,
                       "The archive is damaged at '" + (where.empty() ? std::string("archive") : where) +
                           "': " + std::string(reason) + ".");
}

}  // namespace Platform

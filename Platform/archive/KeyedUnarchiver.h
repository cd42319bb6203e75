#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/archive/Archivable.h"
#include "Platform/archive/ArchiveClassRegistry.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {

// The parsed archive stays inside the library.
namespace detail {
struct ArchivedObject;
struct ArchivedValue;
enum class ArchivedValueKind : int;
}  // namespace detail

// Reads archives written by KeyedArchiver. The whole archive is checked before any
// `decode` runs; anything that is not a well-formed archive is an ArchiveError
// (corruptData), never a crash.
//
// Secure mode (unarchivedObject, unarchivedArrayOfObjects): every object's class name
// must stand for the class its reader names, and that class must support secure
// coding; a value of another kind under a key is an error.
// Plain mode (unarchiveTopLevelObject with secure = false): unknown class names are
// still errors, but an object of another known class, or a value of another kind,
// reads as nothing, and classes need not support secure coding.
class QUILLO_EXPORT KeyedUnarchiver {
public:
    // The root object as T; null when T::decode gives nothing.
    template <Archivable T>
    static std::shared_ptr<T> unarchivedObject(const Data& bytes) {
        return unarchiveTopLevelObject<T>(bytes, true);
    }
    // A root array of T; elements whose decode gives nothing are left out.
    template <Archivable T>
    static std::vector<std::shared_ptr<T>> unarchivedArrayOfObjects(const Data& bytes) {
        KeyedUnarchiver top(bytes, true);
        auto objects = top.decodeObjects<T>(rootKey());
        return objects ? std::move(*objects) : std::vector<std::shared_ptr<T>>{};
    }
    template <Archivable T>
    static std::shared_ptr<T> unarchiveTopLevelObject(const Data& bytes, bool secure = false) {
        KeyedUnarchiver top(bytes, secure);
        return top.decodeObject<T>(rootKey());
    }

    // Archives whose class name is `name` decode as T from now on.
    template <Archivable T>
    static void setClass(std::string name) {
        ArchiveClassRegistry::shared().setUnarchiverClass(detail::ArchiveClass::of<T>(), std::move(name));
    }

    KeyedUnarchiver(const KeyedUnarchiver&) = delete;
    KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;
    ~KeyedUnarchiver();

    bool requiresSecureCoding() const noexcept { return secure_; }
    // True when the key was written, even as nil.
    bool containsValue(std::string_view key) const;
    std::vector<std::string> allKeys() const;
    // The archived class name of this object.
    const std::string& className() const noexcept;

    // Missing or nil gives nothing. A value of another kind throws ArchiveError
    // (valueOfWrongClass) in secure mode and gives nothing in plain mode.
    std::optional<std::string> decodeString(std::string_view key) const;
    std::optional<std::int64_t> decodeInt64(std::string_view key) const;
    std::optional<double> decodeDouble(std::string_view key) const;
    std::optional<bool> decodeBool(std::string_view key) const;
    std::optional<Date> decodeDate(std::string_view key) const;
    std::optional<Data> decodeData(std::string_view key) const;
    std::optional<std::vector<std::string>> decodeStrings(std::string_view key) const;

    // The object under `key` as U, the one class accepted there; null when missing, nil,
    // or when U::decode gives nothing. Class errors as described above.
    template <Archivable U>
    std::shared_ptr<U> decodeObject(std::string_view key) const {
        const auto* object = objectFor(key, detail::ArchiveClass::of<U>());
        if (!object) return nullptr;
        KeyedUnarchiver child(*this, key, kNoIndex, *object);
        return U::decode(child);
    }
    // Every element must be a U; elements whose decode gives nothing are left out.
    template <Archivable U>
    std::optional<std::vector<std::shared_ptr<U>>> decodeObjects(std::string_view key) const {
        const auto objects = objectsFor(key, detail::ArchiveClass::of<U>());
        if (!objects) return std::nullopt;
        std::vector<std::shared_ptr<U>> out;
        out.reserve(objects->size());
        for (std::size_t i = 0; i < objects->size(); ++i) {
            KeyedUnarchiver child(*this, key, i, *(*objects)[i]);
            if (auto element = std::shared_ptr<U>(U::decode(child))) out.push_back(std::move(element));
        }
        return out;
    }

    // For a decode that finds its values inconsistent: throws ArchiveError (corruptData)
    // naming this object's place in the archive.
    [[noreturn]] void failWithCorruptData(std::string_view reason) const;

private:
    static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
    // The key the root object or array is stored under.
    static std::string_view rootKey() noexcept;

    KeyedUnarchiver(const Data& bytes, bool secure);
    KeyedUnarchiver(const KeyedUnarchiver& parent, std::string_view key, std::size_t index,
                    const detail::ArchivedObject& object);

    // The value under `key` if it is of `kind`; null when missing or nil.
    const detail::ArchivedValue* valueFor(std::string_view key, detail::ArchivedValueKind kind) const;
    const detail::ArchivedObject* objectFor(std::string_view key, const detail::ArchiveClass& cls) const;
    std::optional<std::vector<const detail::ArchivedObject*>> objectsFor(std::string_view key,
                                                                       const detail::ArchiveClass& cls) const;
    // Whether `object` may be read as `cls`; throws when the mode says so.
    bool admits(const detail::ArchivedObject& object, const detail::ArchiveClass& cls, const std::string& path) const;
    std::string pathOf(std::string_view key) const;
    std::string path() const;

    bool secure_;
    std::shared_ptr<const detail::ArchivedObject> document_;  // held by the top-level unarchiver
    const detail::ArchivedObject* object_;
    const KeyedUnarchiver* parent_ = nullptr;
    std::string_view key_;
    std::size_t index_ = kNoIndex;
};

}  // namespace Platform

#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Platform/archive/Archivable.h"
#include "Platform/archive/ArchiveClassRegistry.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/core/Data.h"
#include "Platform/core/Export.h"
#include "Platform/time/Date.h"

namespace Platform {

// Writes an object graph as a self-describing archive. Each object's `encode` receives
// an archiver positioned at that object and writes its keyed values; writing a key
// twice keeps the last value. Every failure is an ArchiveError and produces no bytes.
class QUILLO_EXPORT KeyedArchiver {
public:
    // Throws ArchiveError: secureCodingNotSupported when `requiringSecureCoding` meets a
    // class that does not support it, unencodableValue for text that is not UTF-8, a null
    // element in an array, or objects nested more than 64 deep (a cycle).
    template <Archivable T>
    static Data archivedData(const T& root, bool requiringSecureCoding) {
        KeyedArchiver archiver(requiringSecureCoding);
        archiver.encodeObject(rootKey(), root);
        return archiver.finish();
    }
    template <Archivable T>
    static Data archivedData(const std::vector<std::shared_ptr<T>>& roots, bool requiringSecureCoding) {
        KeyedArchiver archiver(requiringSecureCoding);
        archiver.encodeObjects(rootKey(), roots);
        return archiver.finish();
    }

    // The class name archives record for T from now on (otherwise T::defaultArchiveClassName).
    template <Archivable T>
    static void setClassName(std::string name) {
        ArchiveClassRegistry::shared().setArchiverClassName(detail::ArchiveClass::of<T>(), std::move(name));
    }
    // The class name archives record for T.
    template <Archivable T>
    static std::string className() {
        return ArchiveClassRegistry::shared().archiverClassName(detail::ArchiveClass::of<T>());
    }

    KeyedArchiver(const KeyedArchiver&) = delete;
    KeyedArchiver& operator=(const KeyedArchiver&) = delete;
    ~KeyedArchiver();

    bool requiresSecureCoding() const noexcept { return requiringSecureCoding_; }

    void encode(std::string_view key, const std::string& value);
    void encode(std::string_view key, std::string_view value);
    void encode(std::string_view key, const char* value) { encode(key, std::string_view(value)); }
    void encode(std::string_view key, std::int64_t value);
    // Other integer types; unsigned values above the 64-bit signed range are unencodable.
    template <std::integral I>
        requires(!std::same_as<I, bool> && !std::same_as<I, std::int64_t>)
    void encode(std::string_view key, I value) {
        if constexpr (std::is_unsigned_v<I> && sizeof(I) >= sizeof(std::int64_t)) {
            if (value > static_cast<I>(std::numeric_limits<std::int64_t>::max())) integerOutOfRange(key);
        }
        encode(key, static_cast<std::int64_t>(value));
    }
    void encode(std::string_view key, double value);
    void encode(std::string_view key, bool value);
    void encode(std::string_view key, Date value);
    void encodeData(std::string_view key, const Data& value);
    // Nil.
    void encode(std::string_view key, std::nullopt_t);
    // The value, or nil when absent.
    template <class V>
    void encode(std::string_view key, const std::optional<V>& value) {
        if (value) {
            encode(key, *value);
        } else {
            encode(key, std::nullopt);
        }
    }
    void encodeData(std::string_view key, const std::optional<Data>& value);

    template <Archivable T>
    void encodeObject(std::string_view key, const T& value) {
        auto child = beginObject(key, detail::ArchiveClass::of<T>());
        value.encode(child);
    }
    // Nil when null.
    template <Archivable T>
    void encodeObject(std::string_view key, const std::shared_ptr<const T>& value) {
        if (value) {
            encodeObject(key, *value);
        } else {
            encode(key, std::nullopt);
        }
    }
    template <Archivable T>
    void encodeObject(std::string_view key, const std::shared_ptr<T>& value) {
        encodeObject(key, std::shared_ptr<const T>(value));
    }
    template <Archivable T>
    void encodeObject(std::string_view key, const std::optional<T>& value) {
        if (value) {
            encodeObject(key, *value);
        } else {
            encode(key, std::nullopt);
        }
    }

    // Elements must not be null.
    template <Archivable T>
    void encodeObjects(std::string_view key, const std::vector<std::shared_ptr<T>>& values) {
        encodeEach<T>(key, values);
    }
    template <Archivable T>
    void encodeObjects(std::string_view key, const std::vector<std::shared_ptr<const T>>& values) {
        encodeEach<T>(key, values);
    }
    void encodeStrings(std::string_view key, const std::vector<std::string>& values);

private:
    explicit KeyedArchiver(bool requiringSecureCoding);
    KeyedArchiver(const KeyedArchiver& parent, nlohmann::json& values, std::string path);

    static std::string_view rootKey();

    template <class T, class Pointers>
    void encodeEach(std::string_view key, const Pointers& values) {
        const auto cls = detail::ArchiveClass::of<T>();
        beginObjects(key);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i]) nullElement(key, i);
            auto child = appendObject(key, i, cls);
            values[i]->encode(child);
        }
    }
    Data finish();

    // The archiver of a new object stored under `key`.
    KeyedArchiver beginObject(std::string_view key, const detail::ArchiveClass& cls);
    // `key` becomes an empty array; appendObject adds its objects in order.
    void beginObjects(std::string_view key);
    KeyedArchiver appendObject(std::string_view key, std::size_t index, const detail::ArchiveClass& cls);

    nlohmann::json& slot(std::string_view key);
    std::string pathOf(std::string_view key) const;
    void checkDepthAndClass(const detail::ArchiveClass& cls, const std::string& path) const;
    [[noreturn]] void integerOutOfRange(std::string_view key) const;
    [[noreturn]] void nullElement(std::string_view key, std::size_t index) const;

    bool requiringSecureCoding_;
    int depth_ = 0;
    std::unique_ptr<nlohmann::json> document_;  // owned by the top-level archiver only
    nlohmann::json* values_;
    std::string path_;
};

}  // namespace Platform

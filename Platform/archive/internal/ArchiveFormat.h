#pragma once

// The archive's on-disk form, shared by the archiver and the unarchiver:
//
//   {"$archiver":"QuilloKeyedArchive","$version":1,
//    "$root":{"$class":"Common.Credential","$values":{
//        "accessToken":{"string":"…"}, "expiration":{"date":1714555800.25}, "email":null,
//        "count":{"integer":3}, "ratio":{"double":0.5}, "flag":{"bool":true},
//        "blob":{"data":"<base64>"}, "child":{"$class":…,"$values":{…}},
//        "items":{"array":[{"$class":…,"$values":{…}}, …]}, "tags":{"strings":["a","b"]}}}}
//
// "$root" is an object or an {"array":[…]} of objects. Doubles and dates that are not
// finite are written as the strings "nan", "inf" and "-inf".

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform::detail {

inline constexpr std::string_view kArchiverName = "QuilloKeyedArchive";
inline constexpr std::int64_t kArchiveVersion = 1;
// Objects nested deeper than this are refused both ways; it also stops reference cycles.
inline constexpr int kMaxObjectDepth = 64;
inline constexpr std::size_t kMaxArchiveBytes = std::size_t{64} << 20;

namespace archiveKey {
inline constexpr std::string_view archiver = "$archiver";
inline constexpr std::string_view version = "$version";
inline constexpr std::string_view root = "$root";
inline constexpr std::string_view className = "$class";
inline constexpr std::string_view values = "$values";
}  // namespace archiveKey

namespace archiveTag {
inline constexpr std::string_view string = "string";
inline constexpr std::string_view integer = "integer";
inline constexpr std::string_view real = "double";
inline constexpr std::string_view boolean = "bool";
inline constexpr std::string_view date = "date";
inline constexpr std::string_view data = "data";
inline constexpr std::string_view objects = "array";
inline constexpr std::string_view strings = "strings";
}  // namespace archiveTag

struct ArchivedObject;

// Declared ahead (with its underlying type) in KeyedUnarchiver.h.
enum class ArchivedValueKind : int { nil, string, integer, real, boolean, date, data, object, objects, strings };

// One value of a parsed archive.
struct ArchivedValue {
    using Kind = ArchivedValueKind;

    Kind kind = Kind::nil;
    std::string text;                     // string, data
    std::int64_t integer = 0;             // integer
    double real = 0;                      // real, date (seconds since 1970)
    bool boolean = false;                 // boolean
    std::vector<ArchivedObject> objects;  // object (exactly one), objects
    std::vector<std::string> strings;     // strings

    // Out of line: the two types contain each other, and some compilers check
    // completeness too early when these are implicit.
    ArchivedValue();
    ArchivedValue(ArchivedValue&&) noexcept;
    ArchivedValue& operator=(ArchivedValue&&) noexcept;
    ~ArchivedValue();
};

struct ArchivedObject {
    std::string className;
    // Sorted by key, keys unique.
    std::vector<std::pair<std::string, ArchivedValue>> values;

    const ArchivedValue* find(std::string_view key) const;

    ArchivedObject();
    ArchivedObject(ArchivedObject&&) noexcept;
    ArchivedObject& operator=(ArchivedObject&&) noexcept;
    ~ArchivedObject();
};

// The name of a kind as error messages give it.
std::string_view describe(ArchivedValue::Kind kind);

// Reads a whole archive strictly; throws ArchiveError (corruptData) for anything that is
// not one. The result is an object with the single key "$root".
ArchivedObject parseArchive(std::string_view bytes);

std::string base64Encoded(std::string_view bytes);
// Canonical padded base64 only; false for anything else.
bool base64Decode(std::string_view text, std::string& out);

// "nan", "inf", "-inf" for values that are not finite; empty otherwise.
std::string_view nonFiniteName(double value);

}  // namespace Platform::detail

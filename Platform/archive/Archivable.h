#pragma once

#include <concepts>
#include <memory>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>

namespace Platform {

class KeyedArchiver;
class KeyedUnarchiver;

// A type that takes part in keyed archives:
//
//   struct Credential {
//       static constexpr std::string_view defaultArchiveClassName = "Common.Credential";
//       static constexpr bool supportsSecureCoding = true;
//       void encode(Platform::KeyedArchiver& coder) const;
//       static std::shared_ptr<Credential> decode(Platform::KeyedUnarchiver& coder);  // null: gave nothing
//   };
template <class T>
concept Archivable = std::same_as<T, std::remove_cvref_t<T>> &&
                     requires(const T& value, KeyedArchiver& archiver, KeyedUnarchiver& unarchiver) {
                         { T::defaultArchiveClassName } -> std::convertible_to<std::string_view>;
                         { T::supportsSecureCoding } -> std::convertible_to<bool>;
                         value.encode(archiver);
                         { T::decode(unarchiver) } -> std::convertible_to<std::shared_ptr<T>>;
                     };

namespace detail {

// What the non-template parts of the archive code need to know about a class.
struct ArchiveClass {
    std::type_index type;
    std::string_view defaultName;
    bool supportsSecureCoding;

    template <Archivable T>
    static ArchiveClass of() {
        return {typeid(T), std::string_view(T::defaultArchiveClassName), static_cast<bool>(T::supportsSecureCoding)};
    }
};

}  // namespace detail

}  // namespace Platform

#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "Platform/core/Export.h"

namespace Platform {

enum class MessageDirection { call, reply };

// Class names a message value may have besides the archive class names of objects.
namespace MessageClass {
inline constexpr std::string_view string = "string";
inline constexpr std::string_view array = "array";
}  // namespace MessageClass

// The operations of a service and, for each argument and reply position, the classes
// that may travel there. A message is a keyed archive whose root holds "selector" and
// one value per position under "0", "1", ...; anything at a position the interface does
// not allow is refused before any code of the service or the caller reads it.
class QUILLO_EXPORT MessageInterface {
public:
    void setClasses(std::set<std::string, std::less<>> classes, std::string_view selector, std::size_t position,
                    MessageDirection direction);
    // Null when the position takes nothing.
    [[nodiscard]] const std::set<std::string, std::less<>>* classes(std::string_view selector, std::size_t position,
                                                                    MessageDirection direction) const;
    [[nodiscard]] bool hasOperation(std::string_view selector) const;

    // The selector of a message whose every value is allowed. Throws IPCError:
    // malformedMessage, unknownOperation or classNotAllowed.
    std::string check(std::string_view archive, MessageDirection direction) const;

private:
    std::map<std::tuple<std::string, std::size_t, MessageDirection>, std::set<std::string, std::less<>>, std::less<>>
        classes_;
    std::set<std::string, std::less<>> selectors_;
};

}  // namespace Platform

#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>

#include "Platform/archive/Archivable.h"
#include "Platform/core/Export.h"

namespace Platform {

// The process-wide mapping between archive class names and types, in both directions.
// Registrations stay in force for the life of the process. Thread-safe.
class QUILLO_EXPORT ArchiveClassRegistry {
public:
    // How a class name found in an archive relates to the type a caller asks for.
    enum class Match {
        requested,  // the name stands for the requested type
        other,      // the name stands for some other known type
        unknown,    // no type answers to the name
    };

    static ArchiveClassRegistry& shared();

    // The name archives record for `cls` from now on. Throws ArchiveError (unencodableValue)
    // for an empty name or one that is not UTF-8.
    void setArchiverClassName(const detail::ArchiveClass& cls, std::string name);
    // The registered archiver name of `cls`, else its default name.
    std::string archiverClassName(const detail::ArchiveClass& cls);

    // Archives whose class name is `name` decode as `cls` from now on; this takes
    // precedence over default and archiver-side names of other types.
    void setUnarchiverClass(const detail::ArchiveClass& cls, std::string name);

    // The type's default name and archiver-side name also stand for it.
    Match resolve(std::string_view name, const detail::ArchiveClass& requested);

private:
    void noteLocked(const detail::ArchiveClass& cls);

    std::mutex mutex_;
    std::unordered_map<std::type_index, std::string> archiverNames_;
    std::map<std::string, std::type_index, std::less<>> unarchiverClasses_;
    // Every name some type used with archives is known by: default, archiver-side or mapped.
    std::set<std::string, std::less<>> knownNames_;
    std::set<std::type_index> notedTypes_;
};

}  // namespace Platform

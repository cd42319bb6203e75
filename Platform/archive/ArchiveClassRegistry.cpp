#include "Platform/archive/ArchiveClassRegistry.h"

#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/internal/ArchiveFormat.h"
#include "Platform/core/UTF8.h"

namespace Platform {

namespace {

void checkName(const std::string& name) {
    if (name.empty() || !isValidUTF8(name)) {
        throw ArchiveError(ArchiveError::Kind::unencodableValue, "an archive class name must be non-empty UTF-8 text");
    }
}

}  // namespace

ArchiveClassRegistry& ArchiveClassRegistry::shared() {
    static ArchiveClassRegistry registry;
    return registry;
}

void ArchiveClassRegistry::noteLocked(const detail::ArchiveClass& cls) {
    if (notedTypes_.insert(cls.type).second) knownNames_.emplace(cls.defaultName);
}

void ArchiveClassRegistry::setArchiverClassName(const detail::ArchiveClass& cls, std::string name) {
    checkName(name);
    std::lock_guard lock(mutex_);
    noteLocked(cls);
    knownNames_.insert(name);
    archiverNames_.insert_or_assign(cls.type, std::move(name));
}

std::string ArchiveClassRegistry::archiverClassName(const detail::ArchiveClass& cls) {
    std::lock_guard lock(mutex_);
    noteLocked(cls);
    if (auto it = archiverNames_.find(cls.type); it != archiverNames_.end()) return it->second;
    return std::string(cls.defaultName);
}

void ArchiveClassRegistry::setUnarchiverClass(const detail::ArchiveClass& cls, std::string name) {
    checkName(name);
    std::lock_guard lock(mutex_);
    noteLocked(cls);
    knownNames_.insert(name);
    unarchiverClasses_.insert_or_assign(std::move(name), cls.type);
}

ArchiveClassRegistry::Match ArchiveClassRegistry::resolve(std::string_view name, const detail::ArchiveClass& requested) {
    std::lock_guard lock(mutex_);
    noteLocked(requested);
    if (auto it = unarchiverClasses_.find(name); it != unarchiverClasses_.end()) {
        return it->second == requested.type ? Match::requested : Match::other;
    }
    if (name == requested.defaultName) return Match::requested;
    if (auto it = archiverNames_.find(requested.type); it != archiverNames_.end() && it->second == name) {
        return Match::requested;
    }
    return knownNames_.contains(name) ? Match::other : Match::unknown;
}

}  // namespace Platform

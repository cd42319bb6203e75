#pragma once

#include <string>

#include "Common/fileprovider/Entry.h"
#include "Platform/core/Export.h"

namespace Common {

// A folder below a top-level folder; also the base of the two top-level kinds. Every
// field of a folder may be set.
class QUILLO_EXPORT FolderEntry : public Entry {
public:
    FolderEntry() noexcept : Entry(ItemType::folder, {}) {}
    explicit FolderEntry(EntryFields fields) noexcept : Entry(ItemType::folder, std::move(fields)) {}

    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    void setName(std::string name) { name_ = std::move(name); }
    void setType(ItemType type) noexcept { type_ = type; }
    void setSize(std::optional<std::int64_t> size) noexcept { size_ = size; }

    // The role's inherited folder set; empty without a role.
    Platform::FileProviderItemCapabilities capabilities() const noexcept override {
        return volumeRole_ ? inheritedFolderCapabilities(*volumeRole_) : Platform::FileProviderItemCapabilities{};
    }

    std::string debugDescription() const { return debugText(); }
};

}  // namespace Common

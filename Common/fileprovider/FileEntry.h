#pragma once

#include <string>

#include "Common/fileprovider/Entry.h"
#include "Platform/core/Export.h"

namespace Common {

// A file; its identifier, name and size are fixed once built.
class QUILLO_EXPORT FileEntry final : public Entry {
public:
    explicit FileEntry(EntryFields fields) noexcept : Entry(ItemType::file, std::move(fields)) {}

    // The role's file set; empty without a role.
    Platform::FileProviderItemCapabilities capabilities() const noexcept override {
        return volumeRole_ ? inheritedFileCapabilities(*volumeRole_) : Platform::FileProviderItemCapabilities{};
    }

    std::string debugDescription() const { return debugText(); }
};

}  // namespace Common

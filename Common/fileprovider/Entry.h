#pragma once

// Usage:
//
//   // Usually made from records: TarnItem::entry(), LSItem::entry(parentIdentifier, role).
//   std::shared_ptr<Common::Entry> file = std::make_shared<Common::FileEntry>(Common::EntryFields{
//       .identifier = "901", .parentIdentifier = "77", .name = "brief.pdf", .size = 48213,
//       .volumeRole = Common::VolumeRole::editor});
//   const Platform::FileProviderItemCapabilities allowed = file->capabilities();  // an editor's file set
//   file->touch();  // modified now; the version stays
//   file->setVersion(Common::Version::zero);
//
//   const Common::RootEntry root;  // "/", the root container, only ever listed

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Common/fileprovider/Version.h"
#include "Common/fileprovider/VolumeRole.h"
#include "Common/fileprovider/ItemIdentifiers.h"
#include "Common/service/ItemType.h"
#include "Platform/core/Export.h"
#include "Platform/fileprovider/FileProviderItemCapabilities.h"
#include "Platform/time/Date.h"

namespace Common {

// What the builders fill in; everything else starts at its default.
struct QUILLO_EXPORT EntryFields {
    std::string identifier;
    std::string parentIdentifier;
    std::string name;
    std::optional<Platform::Date> modifiedAt;
    std::optional<std::int64_t> size;
    std::optional<VolumeRole> volumeRole;
};

// One item handed to the file provider. Entries are shared reference objects
// (std::shared_ptr<Entry>); their holder may change the parent, date, role and
// version after building. Not synchronized: one holder at a time.
class QUILLO_EXPORT Entry {
public:
    virtual ~Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const std::string& identifier() const noexcept { return identifier_; }
    const std::string& parentIdentifier() const noexcept { return parentIdentifier_; }
    void setParentIdentifier(std::string parentIdentifier) { parentIdentifier_ = std::move(parentIdentifier); }
    const std::string& name() const noexcept { return name_; }
    ItemType type() const noexcept { return type_; }
    const std::optional<Platform::Date>& modifiedAt() const noexcept { return modifiedAt_; }
    void setModifiedAt(std::optional<Platform::Date> modifiedAt) noexcept { modifiedAt_ = modifiedAt; }
    // Bytes.
    std::optional<std::int64_t> size() const noexcept { return size_; }
    // Absent grants what uninvited grants: nothing.
    std::optional<VolumeRole> volumeRole() const noexcept { return volumeRole_; }
    void setVolumeRole(std::optional<VolumeRole> volumeRole) noexcept { volumeRole_ = volumeRole; }
    virtual Platform::FileProviderItemCapabilities capabilities() const noexcept = 0;
    const Version& version() const noexcept { return version_; }
    void setVersion(Version version) noexcept { version_ = version; }

    // Sets the modification date, to now when none is given; the version stays.
    void touch(std::optional<Platform::Date> date = std::nullopt) noexcept;

protected:
    Entry(ItemType type, EntryFields fields) noexcept;

    // "identifier: I parentEntryIdentifier: P name: N type: folder modifiedAt: D size: S",
    // where an absent date or size reads "nil", a date reads as ISO 8601 text in UTC
    // ("2024-05-01T09:30:00Z") and a size in decimal.
    std::string debugText() const;

    std::string identifier_;
    std::string parentIdentifier_;
    std::string name_;
    ItemType type_;
    std::optional<Platform::Date> modifiedAt_;
    std::optional<std::int64_t> size_;
    std::optional<VolumeRole> volumeRole_;
    Version version_ = Version::zero;
};

}  // namespace Common

#include "Common/fileprovider/Entry.h"

#include "Platform/time/Clock.h"
#include "Platform/time/ISO8601DateFormatter.h"

namespace Common {

Entry::Entry(ItemType type, EntryFields fields) noexcept
    : identifier_(std::move(fields.identifier)),
      parentIdentifier_(std::move(fields.parentIdentifier)),
      name_(std::move(fields.name)),
      type_(type),
      modifiedAt_(fields.modifiedAt),
      size_(fields.size),
      volumeRole_(fields.volumeRole) {}

void Entry::touch(std::optional<Platform::Date> date) noexcept { modifiedAt_ = date.value_or(Platform::Clock::now()); }

std::string Entry::debugText() const {
    std::string text = "identifier: " + identifier_;
    text += " parentEntryIdentifier: " + parentIdentifier_;
    text += " name: " + name_;
    text += " type: ";
    text += Platform::rawValue(type_);
    text += " modifiedAt: ";
    text += modifiedAt_ ? Platform::ISO8601DateFormatter::internetDateTime().string(*modifiedAt_) : "nil";
    text += " size: ";
    text += size_ ? std::to_string(*size_) : "nil";
    return text;
}

}  // namespace Common

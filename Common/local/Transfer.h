#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "Common/fileprovider/TarnEventActionType.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "Platform/core/Export.h"

namespace Common {

// A transfer the extension is running, as it travels to the application. Archived
// under the class name "Transfer" with the keys "transfer_id", "parent_id", "name" and
// "action"; the action is kept as text, so an unknown one from a newer peer survives.
class QUILLO_EXPORT Transfer {
public:
    static constexpr std::string_view defaultArchiveClassName = "Transfer";
    // Read by the archiver; a host may turn it off.
    static inline std::atomic<bool> supportsSecureCoding{true};

    Transfer(std::string transferID, std::string parentID, std::string name, TarnEventActionType action);

    const std::string& transferID() const noexcept { return transferID_; }
    const std::string& parentID() const noexcept { return parentID_; }
    const std::string& name() const noexcept { return name_; }
    // The raw value of the action, e.g. "trash".
    const std::string& action() const noexcept { return action_; }

    void encode(Platform::KeyedArchiver& coder) const;
    // Throws ArchiveError (corruptData) naming the first of "transfer_id", "parent_id" and
    // "name" that is missing or not a string; null when only "action" is.
    static std::shared_ptr<Transfer> decode(Platform::KeyedUnarchiver& coder);

private:
    Transfer(std::string transferID, std::string parentID, std::string name, std::string action);

    std::string transferID_;
    std::string parentID_;
    std::string name_;
    std::string action_;
};

}  // namespace Common

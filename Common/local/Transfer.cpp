#include "Common/local/Transfer.h"

#include <optional>

namespace Common {

namespace {

// The string under `key`, or none when it is missing or of another kind.
std::optional<std::string> stringFor(const Platform::KeyedUnarchiver& coder, std::string_view key) {
    try {
        return coder.decodeString(key);
    } catch (const Platform::ArchiveError& error) {
        if (error.kind() != Platform::ArchiveError::Kind::valueOfWrongClass) throw;
        return std::nullopt;
    }
}

}  // namespace

Transfer::Transfer(std::string transferID, std::string parentID, std::string name, TarnEventActionType action)
    : Transfer(std::move(transferID), std::move(parentID), std::move(name), std::string(Platform::rawValue(action))) {}

Transfer::Transfer(std::string transferID, std::string parentID, std::string name, std::string action)
    : transferID_(std::move(transferID)), parentID_(std::move(parentID)), name_(std::move(name)), action_(std::move(action)) {}

void Transfer::encode(Platform::KeyedArchiver& coder) const {
    coder.encode("transfer_id", transferID_);
    coder.encode("parent_id", parentID_);
    coder.encode("name", name_);
    coder.encode("action", action_);
}

std::shared_ptr<Transfer> Transfer::decode(Platform::KeyedUnarchiver& coder) {
    auto transferID = stringFor(coder, "transfer_id");
    if (!transferID) coder.failWithCorruptData("Could not deserialise transfer_id!");
    auto parentID = stringFor(coder, "parent_id");
    if (!parentID) coder.failWithCorruptData("Could not deseralise parent_id!");
    auto name = stringFor(coder, "name");
    if (!name) coder.failWithCorruptData("Could not deseralise name!");
    auto action = stringFor(coder, "action");
    if (!action) return nullptr;
    return std::shared_ptr<Transfer>(
        new Transfer(std::move(*transferID), std::move(*parentID), std::move(*name), std::move(*action)));
}

}  // namespace Common

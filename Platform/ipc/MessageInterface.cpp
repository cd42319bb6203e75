#include "Platform/ipc/MessageInterface.h"

#include <charconv>

#include "Platform/archive/ArchiveError.h"
#include "Platform/archive/internal/ArchiveFormat.h"
#include "Platform/ipc/IPCError.h"

namespace Platform {

namespace {

constexpr std::string_view selectorKey = "selector";

[[noreturn]] void refuse(std::string_view selector, std::size_t position, std::string_view cls) {
    throw IPCError(IPCError::Code::classNotAllowed, "class '" + std::string(cls) + "' is not allowed at position " +
                                                        std::to_string(position) + " of " + std::string(selector));
}

std::string_view kindClass(detail::ArchivedValueKind kind) {
    using K = detail::ArchivedValueKind;
    switch (kind) {
        case K::string: return MessageClass::string;
        case K::objects:
        case K::strings: return MessageClass::array;
        default: return detail::describe(kind);
    }
}

}  // namespace

void MessageInterface::setClasses(std::set<std::string, std::less<>> classes, std::string_view selector,
                                  std::size_t position, MessageDirection direction) {
    selectors_.emplace(selector);
    classes_[{std::string(selector), position, direction}] = std::move(classes);
}

const std::set<std::string, std::less<>>* MessageInterface::classes(std::string_view selector, std::size_t position,
                                                                   MessageDirection direction) const {
    const auto found = classes_.find(std::make_tuple(std::string(selector), position, direction));
    return found == classes_.end() ? nullptr : &found->second;
}

bool MessageInterface::hasOperation(std::string_view selector) const { return selectors_.contains(selector); }

std::string MessageInterface::check(std::string_view archive, MessageDirection direction) const {
    detail::ArchivedObject document;
    try {
        document = detail::parseArchive(archive);
    } catch (const ArchiveError& error) {
        throw IPCError(IPCError::Code::malformedMessage, error.debugDescription());
    }
    const auto* root = document.find(detail::archiveKey::root);
    if (!root || root->kind != detail::ArchivedValueKind::object || root->objects.size() != 1) {
        throw IPCError(IPCError::Code::malformedMessage, "message is not one object");
    }
    const auto& message = root->objects.front();
    const auto* selectorValue = message.find(selectorKey);
    if (!selectorValue || selectorValue->kind != detail::ArchivedValueKind::string) {
        throw IPCError(IPCError::Code::malformedMessage, "message without selector");
    }
    const std::string& selector = selectorValue->text;
    if (!hasOperation(selector)) throw IPCError(IPCError::Code::unknownOperation, "unknown operation " + selector);

    for (const auto& [key, value] : message.values) {
        if (key == selectorKey) continue;
        std::size_t position = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), position);
        if (error != std::errc() || end != key.data() + key.size()) {
            throw IPCError(IPCError::Code::malformedMessage, "unexpected key '" + key + "' in message");
        }
        if (value.kind == detail::ArchivedValueKind::nil) continue;
        const auto* allowed = classes(selector, position, direction);
        const auto cls = value.kind == detail::ArchivedValueKind::object ? std::string_view(value.objects.front().className)
                                                                         : kindClass(value.kind);
        if (!allowed || !allowed->contains(cls)) refuse(selector, position, cls);
        if (value.kind == detail::ArchivedValueKind::objects) {
            for (const auto& element : value.objects) {
                if (!allowed->contains(element.className)) refuse(selector, position, element.className);
            }
        } else if (value.kind == detail::ArchivedValueKind::strings && !allowed->contains(MessageClass::string)) {
            refuse(selector, position, MessageClass::string);
        }
    }
    return selector;
}

}  // namespace Platform

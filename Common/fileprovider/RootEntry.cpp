#include "Common/fileprovider/RootEntry.h"

namespace Common {

RootEntry::RootEntry()
    : Entry(ItemType::folder, EntryFields{
                                  .identifier = rootContainerItemIdentifier(),
                                  .parentIdentifier = rootContainerItemIdentifier(),
                                  .name = "/",
                                  .modifiedAt = Platform::Date::now(),
                              }) {}

}  // namespace Common

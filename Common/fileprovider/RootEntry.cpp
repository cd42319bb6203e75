#include "Common/fileprovider/RootEntry.h"

#include "Platform/time/Clock.h"

namespace Common {

RootEntry::RootEntry()
    : Entry(ItemType::folder, EntryFields{
                                  .identifier = rootContainerItemIdentifier(),
                                  .parentIdentifier = rootContainerItemIdentifier(),
                                  .name = "/",
                                  .modifiedAt = Platform::Clock::now(),
                              }) {}

}  // namespace Common

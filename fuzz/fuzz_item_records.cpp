// Arbitrary bytes as item, listing and volume answers, and every derived value of what
// decodes: the only way to fail is DecodingError.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Common/fileprovider/CapabilitiesDescription.h"
#include "Common/fileprovider/Entry.h"
#include "Common/fileprovider/FileEntry.h"
#include "Common/fileprovider/FolderEntry.h"
#include "Common/fileprovider/ProjectFolderEntry.h"
#include "Common/fileprovider/TarnMyVolumes.h"
#include "Common/service/LSResponse.h"
#include "Common/service/TarnItem.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/log/LogStore.h"

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();

void exercise(const Common::Entry& entry) {
    (void)Common::description(entry.capabilities());
    if (const auto* folder = dynamic_cast<const Common::FolderEntry*>(&entry)) (void)folder->debugDescription();
    if (const auto* file = dynamic_cast<const Common::FileEntry*>(&entry)) (void)file->debugDescription();
}

template <class T, class Use>
void decode(std::string_view json, Use use) {
    try {
        use(api.decode<T>(json));
    } catch (const Platform::DecodingError& e) {
        (void)e.codingPathDescription();
        (void)e.what();
    }
    // Anything else escapes and is reported as a crash.
}

void item(std::string_view json) {
    decode<Common::TarnItem>(json, [](const Common::TarnItem& item) {
        (void)item.identifier();
        (void)item.parentIdentifier();
        (void)item.isPjFolder();
        (void)item.contentType();
        (void)item.volumeRole();
        exercise(*item.entry());
        exercise(*item.entry("p", Common::VolumeRole::uploader));
    });
}

void listing(std::string_view json) {
    decode<Common::LSResponse>(json, [](const Common::LSResponse& response) {
        for (const auto& child : response.entries) exercise(*child.entry("p", Common::VolumeRole::viewer));
    });
}

void myVolumes(std::string_view json) {
    decode<Common::TarnMyVolumes>(json, [](const Common::TarnMyVolumes& answer) {
        for (const auto& volume : answer.volumes.entries) exercise(*volume.entry());
    });
}

}  // namespace

// Role decisions log; a store that keeps entries across runs looks like a leak to the
// fuzzer and sends it scanning the heap after every input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Platform::LogStore::shared().setCapacity(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    item(input);
    listing(input);
    myVolumes(input);
    // Random bytes seldom get past the root; inside valid envelopes they reach the nested records.
    item(R"({"type":"folder","id":"1","name":"n","parent":{"id":"0","name":"r","type":"folder",)"
         R"("modified_at":"2024-01-01T00:00:00Z"},"path_collection":{"total_count":2,"entries":[)"
         R"({"id":"0","name":"r","type":"folder","is_volume":false,"is_archive":false,)"
         R"("modified_at":"2024-01-01T00:00:00Z"},)" +
         input + R"(]},"volumes":[)" + input + "]}");
    item(R"({"type":"file","id":"1","name":"n","home":)" + input + "}");
    listing(R"({"total_count":1,"offset":0,"limit":1,"entries":[)" + input + "]}");
    myVolumes(R"({"volumes":{"total_count":1,"entries":[)" + input + "]}}");
    return 0;
}

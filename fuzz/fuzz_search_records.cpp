// Arbitrary bytes as search, trash and download-ticket answers, alone and inside valid
// envelopes, and as search keywords and trash paths: the only way to fail is
// DecodingError, and every descriptor builds a request line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Common/service/Download.h"
#include "Common/service/TarnSearchFolderItemsParameter.h"
#include "Common/service/TarnSearchIndex.h"
#include "Common/service/TarnSearchTrashItemsParameter.h"
#include "Common/service/TarnTrashItem.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/log/LogStore.h"

namespace {

const Platform::JSONDecoder api = Platform::JSONDecoder::forAPIResponse();

template <class T>
void decode(std::string_view json) {
    try {
        const T value = api.decode<T>(json);
        (void)value;
    } catch (const Platform::DecodingError& e) {
        (void)e.codingPathDescription();
        (void)e.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Platform::LogStore::shared().setCapacity(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    decode<Common::TarnSearchIndex>(input);
    decode<Common::TarnTrashItem>(input);
    decode<Common::Download>(input);
    decode<Common::TarnSearchIndex>(R"({"total_count":1,"exceed":false,"limit":50,"offset":0,"entries":[)" + input + "]}");
    decode<Common::TarnTrashItem>(R"({"id":1,"item_id":"2","name":"n","type":"file","deleted_at":)" + input + R"(,"size":1})");
    (void)Common::WebService::TarnSearchFolderItemsParameter(input, static_cast<std::int64_t>(size)).httpRequestLine();
    (void)Common::WebService::TarnSearchTrashItemsParameter(input).httpRequestLine();
    return 0;
}

#include "Common/service/MultiPartUpload.h"

#include "Platform/json/JSONDecoder.h"

namespace Common {

MultiPartUpload MultiPartUpload::decode(const Platform::KeyedDecoder& c) { return {.s3key = c.decode<std::string>("s3key")}; }

}  // namespace Common

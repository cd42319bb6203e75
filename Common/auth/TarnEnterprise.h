#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Common/connection/APIParameter.h"
#include "Platform/core/Export.h"
#include "Platform/core/RawValues.h"

namespace Platform {
class KeyedDecoder;
}

namespace Common {

enum class StorageType { block, object };

// The company account the signed-in user belongs to.
struct QUILLO_EXPORT TarnEnterprise {
    std::string account;
    std::string domain;
    std::int64_t id = 0;
    bool logo = false;
    std::string name;
    // The storage type as the service wrote it.
    std::string _storageType;

    // object only for exactly "OBJECT STORAGE"; block for anything else.
    StorageType storageType() const noexcept {
        return _storageType == "OBJECT STORAGE" ? StorageType::object : StorageType::block;
    }

    static TarnEnterprise decode(const Platform::KeyedDecoder& container);
    bool operator==(const TarnEnterprise&) const = default;
};

namespace WebService {

// GET /enterprises/current with the caller's query items.
struct QUILLO_EXPORT CurrentEnterpriseParameter : APIEndpoint<CurrentEnterpriseParameter, TarnEnterprise> {
    static constexpr APIMethod staticMethod = APIMethod::GET;
    static constexpr std::string_view endpointTemplate = "/enterprises/current";
    explicit CurrentEnterpriseParameter(std::vector<Platform::URLQueryItem> queryItems = {})
        : APIEndpoint(/*isAuthRequired*/ true, /*isJSONRequest*/ false, std::move(queryItems)) {}
};

}  // namespace WebService
}  // namespace Common

template <>
struct Platform::RawValues<Common::StorageType> {
    static constexpr std::string_view typeName = "StorageType";
    static constexpr std::pair<Common::StorageType, std::string_view> table[] = {
        {Common::StorageType::block, "BLOCK STORAGE"}, {Common::StorageType::object, "OBJECT STORAGE"}};
};

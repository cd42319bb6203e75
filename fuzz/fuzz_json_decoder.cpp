// Arbitrary bytes through the decoding layer: the only way to fail is DecodingError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Platform/json/JSONDecoder.h"

namespace {

struct Leaf {
    std::string itemId;
    std::optional<std::uint64_t> size;
    std::optional<bool> shared;

    static Leaf decode(const Platform::KeyedDecoder& c) {
        return {
            .itemId = c.decode<std::string>("itemId"),
            .size = c.decodeIfPresent<std::uint64_t>("size"),
            .shared = c.decodeIfPresent<bool>("shared"),
        };
    }
};

struct Root {
    std::string name;
    std::int64_t total;
    std::int32_t page;
    double ratio;
    std::optional<Platform::Date> updatedAt;
    std::vector<Leaf> items;
    std::optional<Leaf> parent;
    std::optional<std::vector<std::optional<std::int64_t>>> counts;

    static Root decode(const Platform::KeyedDecoder& c) {
        return {
            .name = c.decode<std::string>("name"),
            .total = c.decode<std::int64_t>("total"),
            .page = c.decode<std::int32_t>("page"),
            .ratio = c.decode<double>("ratio"),
            .updatedAt = c.decodeIfPresent<Platform::Date>("updatedAt"),
            .items = c.decode<std::vector<Leaf>>("items"),
            .parent = c.tolerant<Leaf>("parent"),
            .counts = c.decodeIfPresent<std::vector<std::optional<std::int64_t>>>("counts"),
        };
    }
};

void decode(std::string_view json) {
    try {
        const auto root = Platform::JSONDecoder::forAPIResponse().decode<Root>(json);
        (void)root.items.size();
    } catch (const Platform::DecodingError& e) {
        (void)e.codingPathDescription();
        (void)e.what();
    }
    // Anything else escapes and is reported as a crash.
}

// Looks one name up; the lookup compares keys without converting them, so it must agree
// with convertFromSnakeCase for any key.
struct Lookup {
    static inline std::string_view name;
    bool found;
    static Lookup decode(const Platform::KeyedDecoder& c) { return {c.contains(name)}; }
};

void compareKeyLookup(std::string_view input) {
    const auto split = input.find('|');
    if (split == std::string_view::npos) return;
    const auto wire = input.substr(0, split);
    for (const char c : wire) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return;  // kept out of the JSON text's way
    }
    Lookup::name = input.substr(split + 1);
    const auto found = Platform::JSONDecoder::forAPIResponse().decode<Lookup>("{\"" + std::string(wire) + "\":1}").found;
    if (found != (Platform::convertFromSnakeCase(wire) == Lookup::name)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    decode(input);
    compareKeyLookup(input);
    // Random bytes seldom get past the root; inside a valid envelope they reach the nested records.
    decode(R"({"name":"n","total":1,"page":1,"ratio":0.5,"updated_at":"2024-05-01T09:30:00Z","items":[)" +
           std::string(input) + "]}");
    return 0;
}

// Arbitrary bytes through the unarchiver in both modes: the only way to fail is ArchiveError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"

namespace {

using Platform::KeyedArchiver;
using Platform::KeyedUnarchiver;

struct Leaf {
    static constexpr std::string_view defaultArchiveClassName = "Fuzz.Leaf";
    static constexpr bool supportsSecureCoding = true;
    std::string name;
    std::optional<std::int64_t> size;
    std::optional<Platform::Data> blob;

    void encode(KeyedArchiver& c) const {
        c.encode("name", name);
        c.encode("size", size);
        c.encodeData("blob", blob);
    }
    static std::shared_ptr<Leaf> decode(KeyedUnarchiver& c) {
        auto name = c.decodeString("name");
        if (!name) return nullptr;
        return std::make_shared<Leaf>(Leaf{*name, c.decodeInt64("size"), c.decodeData("blob")});
    }
};

struct Record {
    static constexpr std::string_view defaultArchiveClassName = "Fuzz.Record";
    static constexpr bool supportsSecureCoding = true;
    std::optional<std::string> title;
    std::optional<double> ratio;
    std::optional<bool> flag;
    std::optional<Platform::Date> when;
    std::shared_ptr<Leaf> child;
    std::vector<std::shared_ptr<Leaf>> items;
    std::vector<std::string> tags;
    std::shared_ptr<Record> parent;

    void encode(KeyedArchiver& c) const {
        c.encode("title", title);
        c.encode("ratio", ratio);
        c.encode("flag", flag);
        c.encode("when", when);
        c.encodeObject("child", child);
        c.encodeObjects("items", items);
        c.encodeStrings("tags", tags);
        c.encodeObject("parent", parent);
    }
    static std::shared_ptr<Record> decode(KeyedUnarchiver& c) {
        auto r = std::make_shared<Record>();
        r->title = c.decodeString("title");
        r->ratio = c.decodeDouble("ratio");
        r->flag = c.decodeBool("flag");
        r->when = c.decodeDate("when");
        r->child = c.decodeObject<Leaf>("child");
        r->items = c.decodeObjects<Leaf>("items").value_or(std::vector<std::shared_ptr<Leaf>>{});
        r->tags = c.decodeStrings("tags").value_or(std::vector<std::string>{});
        r->parent = c.decodeObject<Record>("parent");
        (void)c.containsValue("missing");
        return r;
    }
};

// What was read must always be writable and readable again.
template <class Root>
void rewrite(const Root& root) {
    try {
        const auto bytes = KeyedArchiver::archivedData(root, true);
        (void)KeyedUnarchiver::unarchiveTopLevelObject<Record>(bytes, true);
        (void)KeyedUnarchiver::unarchivedArrayOfObjects<Record>(bytes);
    } catch (const Platform::ArchiveError& e) {
        if (e.kind() != Platform::ArchiveError::Kind::valueOfWrongClass) std::abort();
    }
}

void unarchive(const Platform::Data& bytes) {
    for (const bool secure : {true, false}) {
        try {
            if (auto record = KeyedUnarchiver::unarchiveTopLevelObject<Record>(bytes, secure)) rewrite(*record);
        } catch (const Platform::ArchiveError& e) {
            (void)e.what();
            (void)e.failureReason();
        }
    }
    try {
        auto records = KeyedUnarchiver::unarchivedArrayOfObjects<Record>(bytes);
        rewrite(records);
    } catch (const Platform::ArchiveError& e) {
        (void)e.what();
    }
    // Anything else escapes and is reported as a crash.
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        KeyedUnarchiver::setClass<Leaf>("TarnLeaf");
        KeyedArchiver::setClassName<Record>("TarnRecord");
        return true;
    }();
    (void)registered;
    const std::string input(reinterpret_cast<const char*>(data), size);
    unarchive(input);
    // Random bytes seldom get past the envelope; inside a valid one they reach the values.
    unarchive(R"({"$archiver":"QuilloKeyedArchive","$version":1,"$root":{"$class":"Fuzz.Record","$values":)" + input +
              "}}");
    return 0;
}

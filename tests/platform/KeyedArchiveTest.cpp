#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>
#include <variant>

#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"
#include "tests/support/Failures.h"

using Platform::ArchiveError;
using Platform::Data;
using Platform::Date;
using Platform::KeyedArchiver;
using Platform::KeyedUnarchiver;
using Kind = ArchiveError::Kind;

namespace {

struct Leaf {
    static constexpr std::string_view defaultArchiveClassName = "Test.Leaf";
    static constexpr bool supportsSecureCoding = true;
    std::string name;
    std::int64_t size = 0;

    void encode(KeyedArchiver& c) const {
        c.encode("name", name);
        c.encode("size", size);
    }
    static std::shared_ptr<Leaf> decode(KeyedUnarchiver& c) {
        auto name = c.decodeString("name");
        if (!name) return nullptr;  // a leaf without a name gives nothing
        return std::make_shared<Leaf>(Leaf{*name, c.decodeInt64("size").value_or(0)});
    }
};

// Same shape, other classes: what a reader that never heard of Leaf's names sees.
constexpr std::string_view kLeafNames[] = {"Test.OtherLeaf", "Test.Credential", "Test.RenamedCredential"};
template <int N>
struct LeafAs : Leaf {
    static constexpr std::string_view defaultArchiveClassName = kLeafNames[N];
    static std::shared_ptr<LeafAs> decode(KeyedUnarchiver& c) {
        auto leaf = Leaf::decode(c);
        return leaf ? std::make_shared<LeafAs>(LeafAs{*leaf}) : nullptr;
    }
};
using OtherLeaf = LeafAs<0>;
using Credential = LeafAs<1>;
using RenamedCredential = LeafAs<2>;  // the same class as a later version of the program names it

struct Record {
    static constexpr std::string_view defaultArchiveClassName = "Test.Record";
    static constexpr bool supportsSecureCoding = true;
    std::string text;
    std::int64_t count = 0;
    double ratio = 0;
    bool flag = false;
    Date when;
    Data blob;
    std::optional<std::string> email;
    std::shared_ptr<const Leaf> child;
    std::vector<std::shared_ptr<Leaf>> items;
    std::vector<std::string> tags;

    void encode(KeyedArchiver& c) const {
        c.encode("text", text);
        c.encode("count", count);
        c.encode("ratio", ratio);
        c.encode("flag", flag);
        c.encode("when", when);
        c.encodeData("blob", blob);
        c.encode("email", email);
        c.encodeObject("child", child);
        c.encodeObjects("items", items);
        c.encodeStrings("tags", tags);
    }
    static std::shared_ptr<Record> decode(KeyedUnarchiver& c) {
        return std::make_shared<Record>(Record{
            .text = c.decodeString("text").value_or("?"),
            .count = c.decodeInt64("count").value_or(-1),
            .ratio = c.decodeDouble("ratio").value_or(-1),
            .flag = c.decodeBool("flag").value_or(false),
            .when = c.decodeDate("when").value_or(Date{-1}),
            .blob = c.decodeData("blob").value_or("?"),
            .email = c.decodeString("email"),
            .child = c.decodeObject<Leaf>("child"),
            .items = c.decodeObjects<Leaf>("items").value_or(std::vector<std::shared_ptr<Leaf>>{}),
            .tags = c.decodeStrings("tags").value_or(std::vector<std::string>{"?"}),
        });
    }
};

// Encodes and decodes with whatever the current test puts in `body` and `probe`.
template <bool Secure>
struct Scripted {
    static constexpr std::string_view defaultArchiveClassName = Secure ? "Test.Probe" : "Test.Insecure";
    static constexpr bool supportsSecureCoding = Secure;
    static inline std::function<void(KeyedArchiver&)> body = [](KeyedArchiver&) {};
    static inline std::function<void(KeyedUnarchiver&)> probe = [](KeyedUnarchiver&) {};
    void encode(KeyedArchiver& c) const { body(c); }
    static std::shared_ptr<Scripted> decode(KeyedUnarchiver& c) {
        probe(c);
        return std::make_shared<Scripted>();
    }
};
using Probe = Scripted<true>;
using Insecure = Scripted<false>;

// A chain of objects; archives written by hand may also nest through one-element arrays ("list").
struct Chain {
    static constexpr std::string_view defaultArchiveClassName = "Test.Chain";
    static constexpr bool supportsSecureCoding = true;
    std::shared_ptr<Chain> next;
    void encode(KeyedArchiver& c) const { c.encodeObject("next", next); }
    static std::shared_ptr<Chain> decode(KeyedUnarchiver& c) {
        auto list = c.decodeObjects<Chain>("list");
        return std::make_shared<Chain>(Chain{list && !list->empty() ? list->front() : c.decodeObject<Chain>("next")});
    }
    static std::shared_ptr<Chain> make(int length) {
        std::shared_ptr<Chain> head;
        for (int i = 0; i < length; ++i) head = std::make_shared<Chain>(Chain{head});
        return head;
    }
    static int length(const std::shared_ptr<const Chain>& c) { return c ? 1 + length(c->next) : 0; }
};

Data envelope(std::string_view root) {
    return R"({"$archiver":"QuilloKeyedArchive","$version":1,"$root":)" + std::string(root) + "}";
}
std::string node(std::string_view className, std::string_view values) {
    return R"({"$class":")" + std::string(className) + R"(","$values":)" + std::string(values) + "}";
}
Data probeArchive(std::string_view values) { return envelope(node("Test.Probe", values)); }
Data chainArchive(int length, bool viaArray) {
    auto chain = node("Test.Chain", "{}");
    for (int i = 1; i < length; ++i) {
        chain = node("Test.Chain", viaArray ? R"({"list":{"array":[)" + chain + "]}}" : R"({"next":)" + chain + "}");
    }
    return envelope(chain);
}

template <class F>
std::optional<ArchiveError> errorOf(F&& f) {
    return TestSupport::thrown<ArchiveError>(std::forward<F>(f));
}

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

TEST(KeyedArchive, EveryValueKindRoundTripsInBothModes) {
    Data allBytes;
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
    const auto inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, Record> rows[] = {
        {"typical",
         {.text = "hello", .count = 3, .ratio = 0.5, .flag = true, .when = Date{1714555800.25},
          .blob = std::string("xy\0z\xFF", 5), .email = "a@b.c", .child = std::make_shared<Leaf>(Leaf{"c", 1}),
          .items = {std::make_shared<Leaf>(Leaf{"i0", 0}), std::make_shared<Leaf>(Leaf{"i1", -7})},
          .tags = {"t1", "t2"}}},
        {"empty", {.text = "", .when = Date{0}, .blob = "", .tags = {}}},
        {"extremes",
         {.text = std::string("h\xC3\xA9llo\0\xE4\xB8\x96\xF0\x9F\x8E\x89", 14),
          .count = std::numeric_limits<std::int64_t>::min(), .ratio = -0.0,
          .when = Date{std::nextafter(1714555800.25, 2e9)}, .blob = allBytes + std::string(3, '\0'), .email = "",
          .items = {std::make_shared<Leaf>(Leaf{"", std::numeric_limits<std::int64_t>::max()})},
          .tags = {"", std::string("\0", 1)}}},
        {"tiny and huge", {.ratio = std::numeric_limits<double>::denorm_min(), .when = Date{-1.7976931348623157e308}}},
        {"not finite", {.ratio = std::numeric_limits<double>::quiet_NaN(), .when = Date{-inf}, .blob = "x"}},
        {"infinite", {.ratio = inf, .when = Date{inf}}},
    };
    for (const auto& [name, record] : rows) {
        const auto bytes = KeyedArchiver::archivedData(record, true);
        for (const auto& back : {KeyedUnarchiver::unarchivedObject<Record>(bytes),
                                 KeyedUnarchiver::unarchiveTopLevelObject<Record>(bytes)}) {
            ASSERT_TRUE(back) << name;
            EXPECT_TRUE(sameBits(back->ratio, record.ratio)) << name;
            EXPECT_TRUE(sameBits(back->when.timeIntervalSince1970, record.when.timeIntervalSince1970)) << name;
            // Every other field: the same archive again means the same values.
            EXPECT_EQ(KeyedArchiver::archivedData(*back, true), bytes) << name;
        }
    }
}

// Hand-written values: what other writers of the format produce must read the same.
TEST(KeyedArchive, ReadsTheWrittenFormAndTellsNilFromMissing) {
    Probe::probe = [](KeyedUnarchiver& c) {
        EXPECT_EQ(c.decodeData("blob"), std::string("\0\x01\x02\xFF", 4));
        EXPECT_EQ(c.decodeDate("when")->timeIntervalSince1970, 1714555800.25);
        EXPECT_TRUE(std::isnan(*c.decodeDouble("nan")));
        EXPECT_EQ(c.decodeInt64("min"), std::numeric_limits<std::int64_t>::min());
        EXPECT_EQ(c.decodeString("text"), std::string("\0\xC3\xA9", 3));
        EXPECT_TRUE(c.containsValue("nil"));
        EXPECT_FALSE(c.containsValue("absent"));
        for (const char* key : {"nil", "absent"}) {
            EXPECT_FALSE(c.decodeString(key) || c.decodeInt64(key) || c.decodeData(key) || c.decodeStrings(key));
            EXPECT_EQ(c.decodeObject<Leaf>(key), nullptr);
            EXPECT_FALSE(c.decodeObjects<Leaf>(key));
        }
    };
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObject<Probe>(probeArchive(
        R"({"nil":null,"blob":{"data":"AAEC/w=="},"when":{"date":1714555800.25},"nan":{"double":"nan"},)"
        R"("min":{"integer":-9223372036854775808},"text":{"string":"\u0000\u00e9"}})")));
}

TEST(KeyedArchive, ArrayRoots) {
    const std::vector<std::shared_ptr<Leaf>> leaves{std::make_shared<Leaf>(Leaf{"a", 1}),
                                                    std::make_shared<Leaf>(Leaf{"b", 2})};
    const auto bytes = KeyedArchiver::archivedData(leaves, true);
    const auto back = KeyedUnarchiver::unarchivedArrayOfObjects<Leaf>(bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1]->name, "b");
    // Elements that give nothing are left out.
    const auto partly = envelope(R"({"array":[)" + node("Test.Leaf", "{}") + "," +
                                 node("Test.Leaf", R"({"name":{"string":"x"}})") + "]}");
    EXPECT_EQ(KeyedUnarchiver::unarchivedArrayOfObjects<Leaf>(partly).size(), 1u);
    const auto single = KeyedArchiver::archivedData(*leaves[0], true);
    EXPECT_EQ(errorOf([&] { KeyedUnarchiver::unarchivedArrayOfObjects<Leaf>(single); })->kind(),
              Kind::valueOfWrongClass);
}

// What one read gives: something, nothing, or an error of some kind.
enum class Gives { something, nothing };
using Outcome = std::variant<Gives, Kind>;
using Reader = std::function<bool(const Data&, bool secure)>;

template <class T>
bool readRoot(const Data& bytes, bool secure) {
    return KeyedUnarchiver::unarchiveTopLevelObject<T>(bytes, secure) != nullptr;
}
Reader probing(std::function<bool(KeyedUnarchiver&)> read) {
    return [read](const Data& bytes, bool secure) {
        bool got = false;
        Probe::probe = [&](KeyedUnarchiver& c) { got = read(c); };
        KeyedUnarchiver::unarchiveTopLevelObject<Probe>(bytes, secure);
        return got;
    };
}
template <class U>
bool readObject(KeyedUnarchiver& c) {
    return c.decodeObject<U>("v") != nullptr;
}
bool readObjects(KeyedUnarchiver& c) { return c.decodeObjects<Leaf>("v").has_value(); }
Outcome outcome(const Reader& read, const Data& bytes, bool secure) {
    try {
        return read(bytes, secure) ? Gives::something : Gives::nothing;
    } catch (const ArchiveError& e) {
        return e.kind();
    }
}

TEST(KeyedArchive, SecureModeRefusesWhatPlainModeReadsAsNothing) {
    const auto record = KeyedArchiver::archivedData(Record{}, true);
    const auto array = KeyedArchiver::archivedData(std::vector{std::make_shared<Leaf>()}, true);
    const auto leaf = node("Test.Leaf", R"({"name":{"string":"n"}})");
    const auto mixed = probeArchive(R"({"v":{"array":[)" + leaf + "," + node("Test.Record", "{}") + "]}}");
    struct Row {
        Data bytes;
        Reader read;
        Outcome secure, plain;
    };
    std::vector<Row> rows = {
        {record, readRoot<Leaf>, Kind::classNotAllowed, Gives::nothing},
        {envelope(node("Nope.Class", "{}")), readRoot<Leaf>, Kind::unknownClass, Kind::unknownClass},
        {array, readRoot<Leaf>, Kind::valueOfWrongClass, Gives::nothing},
        {KeyedArchiver::archivedData(Insecure{}, false), readRoot<Insecure>, Kind::secureCodingNotSupported,
         Gives::something},
        {probeArchive(R"({"v":)" + leaf + "}"), probing(readObject<Leaf>), Gives::something, Gives::something},
        {probeArchive(R"({"v":)" + leaf + "}"), probing(readObject<OtherLeaf>), Kind::classNotAllowed, Gives::nothing},
        {mixed, probing(readObjects), Kind::classNotAllowed, Gives::nothing},
        {probeArchive(R"({"v":)" + node("Nope.Class", "{}") + "}"), probing(readObject<Leaf>), Kind::unknownClass,
         Kind::unknownClass},
    };
    // A value of another kind than asked for.
    const std::pair<const char*, std::function<bool(KeyedUnarchiver&)>> wrongKinds[] = {
        {R"({"integer":1})", [](auto& c) { return !!c.decodeString("v"); }},
        {R"({"double":1})", [](auto& c) { return !!c.decodeInt64("v"); }},
        {R"({"date":1})", [](auto& c) { return !!c.decodeDouble("v"); }},
        {R"({"double":1})", [](auto& c) { return !!c.decodeDate("v"); }},
        {R"({"string":"true"})", [](auto& c) { return !!c.decodeBool("v"); }},
        {R"({"string":""})", [](auto& c) { return !!c.decodeData("v"); }},
        {R"({"array":[]})", [](auto& c) { return !!c.decodeStrings("v"); }},
        {R"({"strings":[]})", readObjects},
        {leaf.c_str(), readObjects},
        {R"({"string":"x"})", readObject<Leaf>},
    };
    const auto stringFromInteger = rows.size();
    for (const auto& [value, read] : wrongKinds) {
        rows.push_back({probeArchive(R"({"v":)" + std::string(value) + "}"), probing(read), Kind::valueOfWrongClass,
                        Gives::nothing});
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(outcome(rows[i].read, rows[i].bytes, true) == rows[i].secure) << "row " << i << " secure";
        EXPECT_TRUE(outcome(rows[i].read, rows[i].bytes, false) == rows[i].plain) << "row " << i << " plain";
    }
    EXPECT_EQ(errorOf([] { KeyedArchiver::archivedData(Insecure{}, true); })->kind(), Kind::secureCodingNotSupported);
    const auto error = errorOf([&] { rows[stringFromInteger].read(rows[stringFromInteger].bytes, true); });
    EXPECT_NE(error->debugDescription().find("'root.v'"), std::string::npos) << error->debugDescription();
}

TEST(KeyedArchive, RegisteredClassNamesWorkBothWays) {
    KeyedArchiver::setClassName<Credential>("TestRenamedCredential");
    EXPECT_EQ(KeyedArchiver::className<Credential>(), "TestRenamedCredential");
    const auto bytes = KeyedArchiver::archivedData(Credential{{"token", 7}}, true);
    EXPECT_NE(bytes.find(R"("$class":"TestRenamedCredential")"), std::string::npos) << bytes;
    EXPECT_EQ(KeyedUnarchiver::unarchivedObject<Credential>(bytes)->name, "token");

    const auto before = errorOf([&] { KeyedUnarchiver::unarchivedObject<RenamedCredential>(bytes); });
    ASSERT_TRUE(before);
    EXPECT_TRUE(before->isClassError()) << before->what();

    KeyedUnarchiver::setClass<RenamedCredential>("TestRenamedCredential");
    EXPECT_EQ(KeyedUnarchiver::unarchivedObject<RenamedCredential>(bytes)->size, 7);
    // An unarchiver-side mapping is the final word on what the name means.
    EXPECT_EQ(errorOf([&] { KeyedUnarchiver::unarchivedObject<Credential>(bytes); })->kind(), Kind::classNotAllowed);

    for (const char* bad : {"", "\xFF"}) {
        EXPECT_EQ(errorOf([&] { KeyedArchiver::setClassName<Leaf>(bad); })->kind(), Kind::unencodableValue);
        EXPECT_EQ(errorOf([&] { KeyedUnarchiver::setClass<Leaf>(bad); })->kind(), Kind::unencodableValue);
    }
}

TEST(KeyedArchive, NestingIsCappedBothWaysAndCyclesFail) {
    struct Row {
        int length;
        std::optional<Kind> writing, reading, readingViaArrays;
    };
    const Row rows[] = {
        {64, {}, {}, {}},
        {65, Kind::unencodableValue, Kind::corruptData, Kind::corruptData},
        {1000, Kind::unencodableValue, Kind::corruptData, Kind::corruptData},
    };
    const auto kindOf = [](const std::optional<ArchiveError>& e) { return e ? std::optional(e->kind()) : std::nullopt; };
    for (const auto& row : rows) {
        const auto readBack = [&](const Data& bytes) {
            EXPECT_EQ(Chain::length(KeyedUnarchiver::unarchivedObject<Chain>(bytes)), row.length);
        };
        const auto chain = Chain::make(row.length);
        EXPECT_EQ(kindOf(errorOf([&] { readBack(KeyedArchiver::archivedData(*chain, true)); })), row.writing);
        EXPECT_EQ(kindOf(errorOf([&] { readBack(chainArchive(row.length, false)); })), row.reading);
        EXPECT_EQ(kindOf(errorOf([&] { readBack(chainArchive(row.length, true)); })), row.readingViaArrays);
    }
    auto cycle = Chain::make(2);
    cycle->next->next = cycle;
    EXPECT_EQ(errorOf([&] { KeyedArchiver::archivedData(*cycle, true); })->kind(), Kind::unencodableValue);
    cycle->next->next.reset();
}

TEST(KeyedArchive, UnencodableValuesAreRefused) {
    const std::function<void(KeyedArchiver&)> rows[] = {
        [](KeyedArchiver& c) { c.encode("k", std::string("\xC3\x28")); },
        [](KeyedArchiver& c) { c.encode(std::string("\xFF"), std::int64_t{1}); },
        [](KeyedArchiver& c) { c.encodeStrings("k", {"ok", "\xF4\x90\x80\x80"}); },
        [](KeyedArchiver& c) { c.encodeObjects("k", std::vector<std::shared_ptr<Leaf>>{nullptr}); },
        [](KeyedArchiver& c) { c.encode("k", std::numeric_limits<std::uint64_t>::max()); },
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        Probe::body = rows[i];
        const auto error = errorOf([] { KeyedArchiver::archivedData(Probe{}, true); });
        ASSERT_TRUE(error) << "row " << i;
        EXPECT_EQ(error->kind(), Kind::unencodableValue) << "row " << i;
    }
    Probe::body = [](KeyedArchiver&) {};
}

TEST(KeyedArchive, CorruptAndHostileBytesAreCorruptData) {
    const auto probe = node("Test.Probe", "{}");
    std::vector<Data> rows = {
        "", "not json", "null", "[]", "{}", std::string("{\0}", 3), envelope(probe) + " x",
        envelope(probe).substr(0, 40), envelope(probe) + std::string(64 * 1024 * 1024, ' '),
        envelope(std::string(100000, '[') + std::string(100000, ']')),
        R"({"$archiver":"Other","$version":1,"$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$version":2,"$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$version":"1","$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$version":1.0,"$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$version":1})",
        R"({"$archiver":"QuilloKeyedArchive","$version":1,"$version":1,"$root":)" + probe + "}",
        R"({"$archiver":"QuilloKeyedArchive","$version":1,"extra":0,"$root":)" + probe + "}",
        envelope("null"), envelope(R"({"string":"x"})"), envelope(R"({"$class":"Test.Probe"})"),
        envelope(node("", "{}")), envelope(R"({"$class":7,"$values":{}})"), envelope(node("Test.Probe", "[]")),
        envelope(R"({"$class":"Test.Probe","$values":{},"x":1})"),
    };
    // Values that no writer produces.
    const char* values[] = {
        R"("a":null,"a":null)", R"("a":1)", R"("a":{})", R"("a":{"string":"x","integer":1})", R"("a":{"text":"x"})",
        R"("a":{"string":null})", R"("a":{"string":"\ud800"})", R"("a":{"string":"\udc00"})", "\"a\":{\"string\":\"\x01\"}",
        "\"a\":{\"string\":\"\xC3\"}", R"("a":{"integer":1.5})", R"("a":{"integer":9223372036854775808})",
        R"("a":{"integer":99999999999999999999999})", R"("a":{"integer":"3"})", R"("a":{"double":1e400})",
        R"("a":{"double":"NaN"})", R"("a":{"date":true})", R"("a":{"bool":1})", R"("a":{"data":"abc"})",
        R"("a":{"data":"ab=c"})", R"("a":{"data":"QR=="})", R"("a":{"data":"QUJ="})", R"("a":{"data":"Q!=="})",
        R"("a":{"data":"===="})", R"("a":{"array":[null]})", R"("a":{"array":[{"string":"x"}]})",
        R"("a":{"array":{}})", R"("a":{"strings":[1]})",
    };
    for (const char* v : values) rows.push_back(probeArchive("{" + std::string(v) + "}"));
    Probe::probe = [](KeyedUnarchiver&) { ADD_FAILURE() << "decode ran on a corrupt archive"; };
    for (const auto& bytes : rows) {
        for (bool secure : {true, false}) {
            const auto error = errorOf([&] { KeyedUnarchiver::unarchiveTopLevelObject<Probe>(bytes, secure); });
            ASSERT_TRUE(error) << bytes.substr(0, 120);
            EXPECT_EQ(error->kind(), Kind::corruptData) << bytes.substr(0, 120) << ": " << error->what();
        }
    }
}

TEST(KeyedArchive, RegistryIsSafeAcrossThreads) {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                if (t == 0) KeyedUnarchiver::setClass<OtherLeaf>("Test.Threaded" + std::to_string(i));
                EXPECT_EQ(KeyedUnarchiver::unarchivedObject<Leaf>(KeyedArchiver::archivedData(Leaf{"x", i}, true))->size, i);
            }
        });
    }
}

}  // namespace

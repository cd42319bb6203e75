#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Platform/files/FileURL.h"
#include "Platform/url/PercentEncoding.h"

namespace {

TEST(PercentEncoding, EncodesQueryTextOrRefusesInvalidUTF8) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"a+b&c d", "a%2Bb%26c%20d"},
        {"/?=", "/?="},
        {"AZaz09-._~!$'()*,;=:@/?", "AZaz09-._~!$'()*,;=:@/?"},
        {"#%\"<>[]\\^`{|}", "%23%25%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D"},
        {std::string("a\0\x7F", 3), "a%00%7F"},
        {"日本", "%E6%97%A5%E6%9C%AC"},
        {"\xF0\x9F\x98\x80", "%F0%9F%98%80"},
        {"", ""},
        {"\xC0\xAF", std::nullopt},          // overlong '/'
        {"\xE0\x80\xAF", std::nullopt},      // overlong '/'
        {"\xED\xA0\x80", std::nullopt},      // surrogate
        {"\xE6\x97", std::nullopt},          // truncated
        {"\xF4\x90\x80\x80", std::nullopt},  // past U+10FFFF
        {"\x80", std::nullopt},              // stray continuation
        {"a\xFF", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Platform::addingPercentEncoding(text), expected) << text;
    }
}

TEST(PercentDecoding, TakesEitherCaseAndRefusesBrokenEscapes) {
    const struct {
        const char* name;
        std::string text;
        std::optional<std::string> expected;  // nullopt: refused
    } cases[] = {
        {"upper-case escapes", "caf%C3%A9", "caf\xC3\xA9"},
        {"lower-case escapes", "caf%c3%a9", "caf\xC3\xA9"},
        {"mixed case in one escape", "%c3%A9%2f", "\xC3\xA9/"},
        {"nothing to decode", "plain", "plain"},
        {"empty", "", ""},
        {"escaped percent", "100%25", "100%"},
        {"escaped NUL", "a%00b", std::string("a\0b", 3)},
        {"truncated escape at the end", "a%4", std::nullopt},
        {"lone percent at the end", "a%", std::nullopt},
        {"lone percent alone", "%", std::nullopt},
        {"truncated escape before more text", "%4/x", std::nullopt},
        {"letters that are not hex", "%zz", std::nullopt},
        {"one hex digit and one not", "%4g", std::nullopt},
        {"percent before an escape", "%%41", std::nullopt},
        {"decodes to invalid UTF-8", "%FF", std::nullopt},
        {"decodes to half a character", "%C3", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Platform::removingPercentEncoding(c.text), c.expected);
    }
}

TEST(FileURL, PathsFromFileURLsDecodeOrRefuse) {
    const struct {
        const char* name;
        const char* url;
        std::optional<std::string> path;  // nullopt: no path
    } cases[] = {
        {"escapes", "file:///tmp/caf%c3%A9/a%20b", "/tmp/caf\xC3\xA9/a b"},
        {"localhost", "file://localhost/tmp/x", "/tmp/x"},
        {"broken escape", "file:///tmp/%zz/x", std::nullopt},
        {"escaped NUL", "file:///tmp/a%00b", std::nullopt},
        {"not a file URL", "https://h/tmp/x", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto url = Platform::URL::parse(c.url);
        ASSERT_TRUE(url.has_value());
        const auto path = Platform::filePath(*url);
        EXPECT_EQ(path.has_value(), c.path.has_value());
        if (path && c.path) {
            EXPECT_EQ(path->string(), *c.path);
        }
    }

    // Names with '%', blanks and non-ASCII text come back as they went in.
    for (const std::string name : {"100% sure", "caf\xC3\xA9", "%c3%a9", "a%4", "%"}) {
        SCOPED_TRACE(name);
        const auto url = Platform::fileURL("/tmp/" + name, Platform::FileURLKind::file);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(Platform::filePath(*url), std::filesystem::path("/tmp/" + name));
    }
}

}  // namespace

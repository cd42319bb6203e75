#include <gtest/gtest.h>

#include <string>

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

}  // namespace

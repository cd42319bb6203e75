#include <gtest/gtest.h>

#include <string>

#include "Platform/url/URLComponents.h"

namespace {

using Platform::URL;
using Platform::URLComponents;
using Platform::URLQueryItem;
using Items = std::vector<URLQueryItem>;

// What components assemble into, or nothing; the URL reads exactly as a full parse of
// that text does, also the second time, when the prefix comes from the thread's cache.
TEST(URLComponents, AssembleWhatAFullParseReadsOrRefuse) {
    const std::string longPath = "/" + std::string(70000, 'a');
    const struct {
        const char* name;
        URLComponents components;
        std::optional<std::string> expected;
    } cases[] = {
        {"host and port", {.scheme = "http", .host = "localhost", .port = 3000}, "http://localhost:3000/"},
        {"no port", {.scheme = "https", .host = "example.com"}, "https://example.com/"},
        {"listing call", {.scheme = "http", .host = "127.0.0.1", .port = 8080, .path = "/folders/123/ls",
                          .percentEncodedQueryItems = Items{{"offset", "0"}, {"limit", "100"}, {"desc", "true"}}},
         "http://127.0.0.1:8080/folders/123/ls?offset=0&limit=100&desc=true"},
        {"valueless and empty items",
         {.scheme = "https", .host = "h", .path = "/s", .percentEncodedQueryItems = Items{{"q", "a%20b"}, {"flag", {}}, {"e", ""}}},
         "https://h/s?q=a%20b&flag&e="},
        {"nameless items", {.scheme = "https", .host = "h", .path = "/s", .percentEncodedQueryItems = Items{{"", {}}, {"", ""}}},
         "https://h/s?&="},
        {"empty query list", {.scheme = "https", .host = "h", .path = "/s", .percentEncodedQueryItems = Items{}}, "https://h/s"},
        {"empty path with query", {.scheme = "https", .host = "h", .percentEncodedQueryItems = Items{{"a", {}}}}, "https://h/?a"},
        {"escapes keep their case",
         {.scheme = "https", .host = "h", .path = "/a%2Fb/%C3%A9", .percentEncodedQueryItems = Items{{"q", "%2B%26"}, {"x%3D", "y"}}},
         "https://h/a%2Fb/%C3%A9?q=%2B%26&x%3D=y"},
        {"double slashes", {.scheme = "https", .host = "h", .port = 443, .path = "//x//y/"}, "https://h:443//x//y/"},
        {"marks", {.scheme = "https", .host = "h", .path = "/~u/a;b=c,d/@:!$'()*+", .percentEncodedQueryItems = Items{{"p", "/?:@"}}},
         "https://h/~u/a;b=c,d/@:!$'()*+?p=/?:@"},
        {"dot segments resolve", {.scheme = "https", .host = "h", .path = "/a/./b/../c"}, "https://h/a/c"},
        {"escaped dot segments stay", {.scheme = "https", .host = "h", .path = "/a/%2e%2E/c"}, "https://h/a/%2e%2E/c"},
        {"dots in query", {.scheme = "https", .host = "h", .path = "/a", .percentEncodedQueryItems = Items{{"p", "/../x"}}},
         "https://h/a?p=/../x"},
        {"upper-case scheme and host", {.scheme = "HTTPS", .host = "Example.COM", .path = "/x"}, "https://Example.COM/x"},
        {"file path", {.scheme = "file", .path = "/tmp/x"}, "file:///tmp/x"},
        {"long path", {.scheme = "https", .host = "h", .path = longPath}, "https://h" + longPath},
        {"rootless path without host", {.scheme = "file", .path = "tmp/x"}, std::nullopt},
        {"relative path after host", {.scheme = "https", .host = "h", .path = "f/0"}, std::nullopt},
        {"blank in query", {.scheme = "https", .host = "h", .percentEncodedQueryItems = Items{{"q", "a b"}}}, std::nullopt},
        {"broken escape in query", {.scheme = "https", .host = "h", .percentEncodedQueryItems = Items{{"q%2", {}}}}, std::nullopt},
        {"hash in query", {.scheme = "https", .host = "h", .percentEncodedQueryItems = Items{{"q", "#"}}}, std::nullopt},
        {"question mark in path", {.scheme = "https", .host = "h", .path = "/a?b"}, std::nullopt},
        {"no scheme", {.host = "h", .path = "/"}, std::nullopt},
        {"port too large", {.scheme = "http", .host = "h", .port = 65536}, std::nullopt},
        {"negative port", {.scheme = "http", .host = "h", .port = -1}, std::nullopt},
        {"bad host", {.scheme = "http", .host = "a b"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 2; ++round) {
            const auto built = c.components.url();
            ASSERT_EQ(built ? std::optional(built->absoluteString()) : std::nullopt, c.expected);
            if (!built) continue;
            const auto parsed = URL::parse(*c.expected);
            ASSERT_TRUE(parsed);
            EXPECT_EQ(built->scheme(), parsed->scheme());
            EXPECT_EQ(built->host(), parsed->host());
            EXPECT_EQ(built->port(), parsed->port());
            EXPECT_EQ(built->path(), parsed->path());
            EXPECT_EQ(built->query(), parsed->query());
            EXPECT_EQ(built->fragment(), parsed->fragment());
        }
    }
}

TEST(URL, ParsesComponentsOrRefuses) {
    const struct {
        std::string text;
        const char* scheme;  // null: refused
        const char* host;
        std::optional<int> port;
        const char* path;
        std::optional<std::string> query;
    } cases[] = {
        {"http://example.com:8080/a/b?x=1&y=%20#frag", "http", "example.com", 8080, "/a/b", "x=1&y=%20"},
        {"https://h", "https", "h", std::nullopt, "/", std::nullopt},
        {"file:///tmp/x", "file", "", std::nullopt, "/tmp/x", std::nullopt},
        {"http://[::1]:80/", "http", "[::1]", 80, "/", std::nullopt},
        {""},
        {"/relative/path"},
        {"example.com/path"},
        {"http://h/a b"},
        {"http://h:99999/"},
        {std::string("http://h/\0x", 11)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = URL::parse(c.text);
        ASSERT_EQ(url.has_value(), c.scheme != nullptr);
        if (!url) continue;
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->port(), c.port);
        EXPECT_EQ(url->path(), c.path);
        EXPECT_EQ(url->query(), c.query);
    }
    EXPECT_EQ(URL::parse("https://h"), URL::parse("https://h/"));
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "Platform/url/URLComponents.h"

namespace {

using Platform::URL;
using Platform::URLComponents;
using Platform::URLQueryItem;

struct ComponentsCase {
    const char* name;
    URLComponents components;
    std::optional<std::string> expected;
};

TEST(URLComponents, AssemblesOrRefuses) {
    const ComponentsCase cases[] = {
        {"host and port", {.scheme = "http", .host = "localhost", .port = 3000}, "http://localhost:3000/"},
        {"no port", {.scheme = "https", .host = "example.com"}, "https://example.com/"},
        {"path", {.scheme = "https", .host = "h", .path = "/f/0"}, "https://h/f/0"},
        {"query items",
         {.scheme = "https", .host = "h", .path = "/s",
          .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q", "a%20b"}, {"flag", {}}, {"e", ""}}},
         "https://h/s?q=a%20b&flag&e="},
        {"empty query list",
         {.scheme = "https", .host = "h", .path = "/s", .percentEncodedQueryItems = std::vector<URLQueryItem>{}},
         "https://h/s"},
        {"escapes keep their case",
         {.scheme = "https", .host = "h", .path = "/a%2Bb",
          .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q", "%2B"}}},
         "https://h/a%2Bb?q=%2B"},
        {"file path", {.scheme = "file", .path = "/tmp/x"}, "file:///tmp/x"},
        {"rootless path without host", {.scheme = "file", .path = "tmp/x"}, std::nullopt},
        {"relative path after host", {.scheme = "https", .host = "h", .path = "f/0"}, std::nullopt},
        {"blank in query",
         {.scheme = "https", .host = "h", .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q", "a b"}}},
         std::nullopt},
        {"broken escape in query",
         {.scheme = "https", .host = "h", .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q%2", {}}}},
         std::nullopt},
        {"hash in query",
         {.scheme = "https", .host = "h", .percentEncodedQueryItems = std::vector<URLQueryItem>{{"q", "#"}}},
         std::nullopt},
        {"question mark in path", {.scheme = "https", .host = "h", .path = "/a?b"}, std::nullopt},
        {"no scheme", {.host = "h", .path = "/"}, std::nullopt},
        {"port too large", {.scheme = "http", .host = "h", .port = 65536}, std::nullopt},
        {"negative port", {.scheme = "http", .host = "h", .port = -1}, std::nullopt},
        {"bad host", {.scheme = "http", .host = "a b"}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = c.components.url();
        EXPECT_EQ(url ? std::optional(url->absoluteString()) : std::nullopt, c.expected) << c.name;
    }
}

// URLs built on a prefix parsed once must read exactly as a full parse of their text.
TEST(URLComponents, BuildsWhatAFullParseReads) {
    struct Case {
        const char* name;
        const char* scheme;
        std::optional<std::string> host;
        std::optional<int> port;
        std::string path;
        std::vector<URLQueryItem> query;
        const char* text;
    };
    const Case cases[] = {
        {"listing call", "http", "127.0.0.1", 8080, "/folders/123/ls",
         {{"offset", "0"}, {"limit", "100"}, {"desc", "true"}}, "http://127.0.0.1:8080/folders/123/ls?offset=0&limit=100&desc=true"},
        {"escapes in both", "https", "h", {}, "/a%2Fb/%C3%A9", {{"q", "%2B%26"}, {"x%3D", "y"}}, "https://h/a%2Fb/%C3%A9?q=%2B%26&x%3D=y"},
        {"empty path with query", "https", "h", {}, "", {{"a", {}}}, "https://h/?a"},
        {"double slash", "https", "h", 443, "//x//y/", {}, "https://h:443//x//y/"},
        {"marks", "https", "h", {}, "/~u/a;b=c,d/@:!$'()*+", {{"p", "/?:@"}}, "https://h/~u/a;b=c,d/@:!$'()*+?p=/?:@"},
        {"empty items", "https", "h", {}, "/s", {{"", {}}, {"", ""}}, "https://h/s?&="},
        {"dot segments", "https", "h", {}, "/a/./b/../c", {}, "https://h/a/./b/../c"},
        {"escaped dot segments", "https", "h", {}, "/a/%2e%2E/c", {}, "https://h/a/%2e%2E/c"},
        {"dots in query", "https", "h", {}, "/a", {{"p", "/../x"}}, "https://h/a?p=/../x"},
        {"file", "file", {}, {}, "/tmp/x", {}, "file:///tmp/x"},
        {"upper-case scheme and host", "HTTPS", "Example.COM", {}, "/x", {}, "HTTPS://Example.COM/x"},
        {"long path", "https", "h", {}, "/" + std::string(70000, 'a'), {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const URLComponents components{
            .scheme = c.scheme, .host = c.host, .port = c.port, .path = c.path, .percentEncodedQueryItems = c.query};
        // Twice: the second time the prefix comes from the thread's cache.
        for (int round = 0; round < 2; ++round) {
            const auto built = components.url();
            const auto parsed = URL::parse(c.text ? std::string(c.text) : "https://h" + c.path);
            ASSERT_EQ(built.has_value(), parsed.has_value());
            if (!built) continue;
            EXPECT_EQ(built->absoluteString(), parsed->absoluteString());
            EXPECT_EQ(built->scheme(), parsed->scheme());
            EXPECT_EQ(built->host(), parsed->host());
            EXPECT_EQ(built->port(), parsed->port());
            EXPECT_EQ(built->path(), parsed->path());
            EXPECT_EQ(built->query(), parsed->query());
            EXPECT_EQ(built->fragment(), parsed->fragment());
        }
    }
}

TEST(URL, ParsesComponents) {
    struct Case {
        const char* text;
        const char* scheme;
        const char* host;
        std::optional<int> port;
        const char* path;
        std::optional<std::string> query;
    };
    const Case cases[] = {
        {"http://example.com:8080/a/b?x=1&y=%20#frag", "http", "example.com", 8080, "/a/b", "x=1&y=%20"},
        {"https://h", "https", "h", std::nullopt, "/", std::nullopt},
        {"file:///tmp/x", "file", "", std::nullopt, "/tmp/x", std::nullopt},
        {"http://[::1]:80/", "http", "[::1]", 80, "/", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = URL::parse(c.text);
        ASSERT_TRUE(url.has_value()) << c.text;
        EXPECT_EQ(url->scheme(), c.scheme) << c.text;
        EXPECT_EQ(url->host(), c.host) << c.text;
        EXPECT_EQ(url->port(), c.port) << c.text;
        EXPECT_EQ(url->path(), c.path) << c.text;
        EXPECT_EQ(url->query(), c.query) << c.text;
    }
    EXPECT_EQ(URL::parse("https://h"), URL::parse("https://h/"));
}

TEST(URL, RefusesRelativeOrMalformedText) {
    const std::string cases[] = {
        "", "/relative/path", "example.com/path", "http://h/a b", "http://h:99999/", std::string("http://h/\0x", 11),
    };
    for (const auto& text : cases) {
        EXPECT_FALSE(URL::parse(text).has_value()) << text;
    }
}

TEST(URLQueryItem, DescribesItself) {
    EXPECT_EQ((URLQueryItem{"a", "1"}).description(), "a=1");
    EXPECT_EQ((URLQueryItem{"a", ""}).description(), "a=");
    EXPECT_EQ((URLQueryItem{"a", {}}).description(), "a");
}

}  // namespace

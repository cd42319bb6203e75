#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/core/Export.h"
#include "Platform/url/URL.h"

namespace Platform {

// Converting between local paths and file URLs ("file:///a/b%20c/"). Every byte of a
// path segment outside the unreserved and sub-delimiter characters (and ':' '@') is
// percent-encoded, so blanks, '%', '?', '#' and non-ASCII text survive the trip.

// What a path names; a directory's URL ends in '/', so relative URLs resolve inside it.
enum class FileURLKind { file, directory };

// The file URL of an absolute path. nullopt for a relative path or one holding NUL.
[[nodiscard]] QUILLO_EXPORT std::optional<URL> fileURL(const std::filesystem::path& path, FileURLKind kind);

// The local path a file URL names (escapes removed). nullopt when the URL is not a
// file URL on this host, or its path has a bad escape, NUL or invalid UTF-8.
[[nodiscard]] QUILLO_EXPORT std::optional<std::filesystem::path> filePath(const URL& url);

// The URL with `component` added as one more path component: a '/' is put between
// when the path does not end in one, '/' inside the component is kept as a
// separator and everything else is encoded. Only scheme, host, port and path are
// kept: this is for file URLs, which have nothing else.
[[nodiscard]] QUILLO_EXPORT std::optional<URL> appendingPathComponent(const URL& url, std::string_view component);

}  // namespace Platform

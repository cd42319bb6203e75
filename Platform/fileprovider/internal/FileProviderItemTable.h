#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Platform::detail {

// One domain's table of item identifier -> path relative to the mount root, as the
// integration process records it and the application reads it. It lives in
// <mount root>/.fileprovider/items.json; writers take a lock file and replace the
// table by rename, so a reader in another process sees the old table or the new one,
// never half of one. Every call reads the file again: nothing is cached.
// Failures throw FileProviderError.
class FileProviderItemTable {
public:
    static constexpr std::string_view metadataFolderName = ".fileprovider";

    explicit FileProviderItemTable(std::filesystem::path mountRoot);

    // "a//b/" -> "a/b". nullopt for an empty or absolute path, "." or "..", NUL,
    // invalid UTF-8, or a path into the metadata folder.
    [[nodiscard]] static std::optional<std::string> normalizedRelativePath(std::string_view path);

    std::optional<std::string> path(const std::string& identifier) const;
    // `relativePath` must be normalized.
    std::optional<std::string> identifier(const std::string& relativePath) const;
    std::map<std::string, std::string> entries() const;

    // Records or moves `identifier`; fails with filenameCollision when another
    // identifier holds the path.
    void setPath(const std::string& identifier, std::string_view relativePath) const;
    // Whether there was an entry to remove.
    bool remove(const std::string& identifier) const;

private:
    std::filesystem::path metadataFolder() const;
    std::filesystem::path tablePath() const;
    void store(const std::map<std::string, std::string>& entries) const;

    std::filesystem::path mountRoot_;
};

}  // namespace Platform::detail

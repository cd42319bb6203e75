#include "Platform/fileprovider/internal/FileProviderItemTable.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>
#include <utility>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UTF8.h"
#include "Platform/fileprovider/FileProviderError.h"

namespace Platform::detail {

namespace {

constexpr const char* tableFileName = "items.json";
constexpr const char* lockFileName = "items.lock";
constexpr int tableVersion = 1;
// A table of this size would hold millions of items; anything bigger is not ours.
constexpr std::uintmax_t maxTableBytes = 64u << 20;
constexpr auto lockTimeout = std::chrono::seconds(10);

[[noreturn]] void failSync(const std::string& what, int errorNumber = 0) {
    std::string detail = what;
    if (errorNumber != 0) detail += ": " + std::generic_category().message(errorNumber);
    throw FileProviderError(FileProviderError::Code::cannotSynchronize, detail);
}


// Held while a writer reads, changes and replaces the table; released on close.
FileDescriptor lockTable(const std::filesystem::path& lockPath) {
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0) failSync("cannot open " + lockPath.string(), errno);
    const auto deadline = std::chrono::steady_clock::now() + lockTimeout;
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) failSync("cannot lock " + lockPath.string(), errno);
        if (std::chrono::steady_clock::now() > deadline) failSync("timed out waiting for " + lockPath.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return fd;
}

std::map<std::string, std::string> readTable(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) return {};
        failSync("cannot read " + path.string(), ec.value());
    }
    if (size > maxTableBytes) failSync(path.string() + " is too large");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return {};  // replaced or removed since the size was read
        failSync("cannot open " + path.string(), errno);
    }
    const std::string text(std::istreambuf_iterator<char>(in), {});

    const auto document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) failSync(path.string() + " is not a JSON object");
    const auto version = document.find("version");
    const auto items = document.find("items");
    if (version == document.end() || *version != tableVersion) failSync(path.string() + " has an unknown version");
    if (items == document.end() || !items->is_object()) failSync(path.string() + " has no items");

    std::map<std::string, std::string> entries;
    for (const auto& [identifier, value] : items->items()) {
        if (!value.is_string()) failSync(path.string() + ": item " + identifier + " has no path");
        const auto relative = FileProviderItemTable::normalizedRelativePath(value.get_ref<const std::string&>());
        if (identifier.empty() || !relative) failSync(path.string() + ": item " + identifier + " is invalid");
        entries.emplace(identifier, *relative);
    }
    return entries;
}

}  // namespace

FileProviderItemTable::FileProviderItemTable(std::filesystem::path mountRoot) : mountRoot_(std::move(mountRoot)) {}

std::optional<std::string> FileProviderItemTable::normalizedRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos || !isValidUTF8(path)) {
        return std::nullopt;
    }
    std::string normalized;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view piece = path.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (piece == "." || piece == "..") return std::nullopt;
        if (normalized.empty() && piece == metadataFolderName) return std::nullopt;
        if (!normalized.empty()) normalized += '/';
        normalized += piece;
    }
    if (normalized.empty()) return std::nullopt;
    return normalized;
}

std::filesystem::path FileProviderItemTable::metadataFolder() const {
    return mountRoot_ / std::string(metadataFolderName);
}

std::filesystem::path FileProviderItemTable::tablePath() const {
    return metadataFolder() / tableFileName;
}

std::map<std::string, std::string> FileProviderItemTable::entries() const {
    return readTable(tablePath());
}

std::optional<std::string> FileProviderItemTable::path(const std::string& identifier) const {
    const auto all = entries();
    const auto found = all.find(identifier);
    if (found == all.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> FileProviderItemTable::identifier(const std::string& relativePath) const {
    for (const auto& [identifier, path] : entries()) {
        if (path == relativePath) return identifier;
    }
    return std::nullopt;
}

void FileProviderItemTable::setPath(const std::string& identifier, std::string_view relativePath) const {
    using Code = FileProviderError::Code;
    const auto normalized = normalizedRelativePath(relativePath);
    if (!normalized) throw FileProviderError(Code::invalidArgument, "relative path \"" + std::string(relativePath) + "\"");
    if (identifier.empty() || !isValidUTF8(identifier)) throw FileProviderError(Code::invalidArgument, "item identifier");

    std::error_code ec;
    std::filesystem::create_directories(metadataFolder(), ec);
    if (ec) failSync("cannot create " + metadataFolder().string(), ec.value());
    const auto lock = lockTable(metadataFolder() / lockFileName);
    auto all = readTable(tablePath());
    for (const auto& [other, path] : all) {
        if (path == *normalized && other != identifier) {
            throw FileProviderError(Code::filenameCollision, *normalized + " belongs to item " + other);
        }
    }
    const auto [entry, inserted] = all.try_emplace(identifier, *normalized);
    if (!inserted) {
        if (entry->second == *normalized) return;
        entry->second = *normalized;
    }
    store(all);
}

bool FileProviderItemTable::remove(const std::string& identifier) const {
    std::error_code ec;
    if (!std::filesystem::exists(metadataFolder(), ec)) return false;
    const auto lock = lockTable(metadataFolder() / lockFileName);
    auto all = readTable(tablePath());
    if (all.erase(identifier) == 0) return false;
    store(all);
    return true;
}

void FileProviderItemTable::store(const std::map<std::string, std::string>& entries) const {
    const std::string text = nlohmann::json{{"version", tableVersion}, {"items", entries}}.dump(1);
    std::string temporary = (metadataFolder() / (std::string(tableFileName) + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) failSync("cannot create " + temporary, errno);

    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            failSync("cannot write " + temporary, error);
        }
        written += static_cast<std::size_t>(n);
    }
    // The rename must not land before the bytes do, or a crash could leave an empty table.
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0 ||
        ::rename(temporary.c_str(), tablePath().c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        failSync("cannot replace " + tablePath().string(), error);
    }
}

}  // namespace Platform::detail

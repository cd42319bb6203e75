#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Platform::detail {
class SQLiteDatabase;
}

namespace Common::detail {

// What an interrupted upload needs to go on: the service's upload, the file as it was
// when the upload began, and the entity tags of the parts already stored.
struct JournalEntry {
    std::int64_t id = 0;
    std::string s3Key;
    std::uint64_t size = 0;
    double mtime = 0;
    std::uint64_t partSize = 0;
    // By part index (0-based); absent for parts not stored yet.
    std::vector<std::optional<std::string>> eTags;
};

// Which upload a file's entry belongs to: the file and where it goes.
struct JournalKey {
    std::string path;
    int family = 0;  // 0: new file into a folder, 1: new contents of a file
    std::string target;
    std::string name;
};

// A small SQLite file in the group container shared by the processes that upload.
// Thread-safe. The file is outside input: a damaged file is replaced by an empty
// one, and a row that does not read back sanely reads as no entry, so the upload
// starts over instead of failing or resuming from rubbish.
class UploadJournal {
public:
    // Longest storage key and entity tag kept; longer ones are not journalled.
    static constexpr std::size_t maximumTextSize = 4096;

    // Opens (or creates) `file`; nullptr when no usable file can be had there.
    static std::shared_ptr<UploadJournal> open(const std::filesystem::path& file);
    ~UploadJournal();

    // The entry for `key` with up to `partCount` tags, or none (also for a row that
    // does not make sense for that many parts: it is then removed).
    std::optional<JournalEntry> find(const JournalKey& key, std::size_t partCount);
    // Records a new upload; replaces any entry of the same key. Its id, or none on failure.
    std::optional<std::int64_t> begin(const JournalKey& key, const JournalEntry& entry);
    void recordPart(std::int64_t id, std::size_t index, const std::string& eTag);
    void remove(std::int64_t id);

private:
    explicit UploadJournal(std::unique_ptr<Platform::detail::SQLiteDatabase> database);

    std::mutex mutex_;
    std::unique_ptr<Platform::detail::SQLiteDatabase> database_;
};

}  // namespace Common::detail

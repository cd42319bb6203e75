#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>

#include "Platform/defaults/UserDefaults.h"
#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/KeychainError.h"
#include "Platform/core/UniqueHandle.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "tests/platform/StoreTestSupport.h"

using Platform::detail::SQLiteKeychainBackend;

namespace {

using namespace std::chrono_literals;
using namespace Platform;
using StoreTestSupport::Hold;
using StoreTestSupport::TemporaryRoot;
using TestSupport::ChildProcess;

constexpr const char* suiteName = "group.test.locking";

// Whether the file's header says WAL (bytes 18 and 19 are 2).
bool isWAL(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char header[20] = {};
    in.read(header, sizeof header);
    return header[18] == 2 && header[19] == 2;
}

enum class Store { settings, keychain };
enum class Release { afterOpening, onFirstWait };
enum class Outcome { opensWithoutWaiting, opensAfterWaiting, busy };

struct Opened {
    bool ok = false;
    std::string reason;
};

Opened openStore(Store store, const std::filesystem::path& file, const StoreOptions& options) {
    if (store == Store::settings) {
        try {
            UserDefaults::suite(suiteName, options)->integerForKey("k");
            return {.ok = true};
        } catch (const UserDefaultsError& error) {
            return {.reason = error.kind() == UserDefaultsError::Kind::busy ? error.detail() : "wrong kind"};
        }
    }
    SQLiteKeychainBackend backend(file, options);
    const auto opened = backend.open();
    if (opened) return {.ok = true};
    const auto* error = opened.error<KeychainError>();
    return {.reason = error && error->status() == errSecIO ? error->detail() : "wrong status"};
}

// The other process: holds the file with plain SQLite, as any program could, until told.
void holdFile(const std::string& file, const char* statements) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open(file.c_str(), &raw);
    const UniqueHandle<sqlite3*, &sqlite3_close_v2> database(raw);
    ASSERT_EQ(opened, SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database.get(), statements, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(database.get());
    ASSERT_TRUE(ChildProcess::tell('L'));
    (void)ChildProcess::hear(60s);
}

const TestSupport::ChildRole holders[] = {
    {"hold-as-writer", [](const std::string& file) { holdFile(file, "BEGIN EXCLUSIVE; CREATE TABLE held(x);"); }},
    {"hold-from-everyone",
     [](const std::string& file) { holdFile(file, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; CREATE TABLE held(x);"); }},
    {"hold-in-rollback-mode",
     [](const std::string& file) {
         holdFile(file, "PRAGMA journal_mode=DELETE; CREATE TABLE held(x); BEGIN IMMEDIATE; INSERT INTO held VALUES(1);");
     }},
};

// Another process holds the file while this one opens it.
TEST(StoreLocking, OpeningWaitsOnlyForWhatBlocksReading) {
    const struct {
        const char* name;
        Hold hold;
        Release release;
        Outcome outcome;
    } cases[] = {
        {"a writer does not hold up opening", Hold::writer, Release::afterOpening, Outcome::opensWithoutWaiting},
        {"a holder of the whole file is waited for", Hold::everyone, Release::onFirstWait, Outcome::opensAfterWaiting},
        {"a holder past the bound is reported", Hold::everyone, Release::afterOpening, Outcome::busy},
        // SQLite answers the switch at once while another process writes; the store retries.
        {"switching to WAL is retried", Hold::rollbackWriter, Release::onFirstWait, Outcome::opensAfterWaiting},
        {"switching to WAL gives up after the bound", Hold::rollbackWriter, Release::afterOpening, Outcome::busy},
    };
    for (const auto store : {Store::settings, Store::keychain}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(store == Store::settings ? "settings: " : "keychain: ") + c.name);
            TemporaryRoot root;
            const auto file = store == Store::settings
                                  ? root.path() / suiteName / "Preferences" / (std::string(suiteName) + ".sqlite")
                                  : root.path() / "Keychains" / "keychain.sqlite";
            std::filesystem::create_directories(file.parent_path());
            if (c.hold != Hold::rollbackWriter) {
                ASSERT_TRUE(openStore(store, file, {}).ok) << "prepared beforehand";
            }

            auto holder = StoreTestSupport::startHolder(c.hold, file);
            ASSERT_EQ(holder.receive(30s), 'L') << "the other process holds the file";
            std::atomic<int> waits{0};
            const StoreOptions options{
                .busyTimeout = c.release == Release::onFirstWait ? 30s : 200ms,
                .onWait =
                    [&] {
                        if (waits++ == 0 && c.release == Release::onFirstWait) {
                            EXPECT_TRUE(holder.send());
                        }
                    },
            };
            const auto opened = openStore(store, file, options);
            EXPECT_EQ(holder.wait(), 0);

            EXPECT_EQ(opened.ok, c.outcome != Outcome::busy) << opened.reason;
            EXPECT_EQ(waits > 0, c.outcome != Outcome::opensWithoutWaiting) << waits;
            if (c.outcome == Outcome::busy) {
                EXPECT_NE(opened.reason.find("database is locked"), std::string::npos) << opened.reason;
                EXPECT_TRUE(openStore(store, file, {}).ok) << "opens once the other process let go";
            }
            EXPECT_TRUE(isWAL(file));
        }
    }
}

}  // namespace

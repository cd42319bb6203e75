#include "StateFile.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

namespace DevServer {

StateFile::StateFile(const std::string& path)
    : database_(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, 5000) {
    database_.exec("PRAGMA journal_mode=WAL");
    database_.exec("CREATE TABLE IF NOT EXISTS snapshot (id INTEGER PRIMARY KEY CHECK (id = 1), body TEXT NOT NULL)");
    database_.exec("CREATE TABLE IF NOT EXISTS blobs (key TEXT PRIMARY KEY, data BLOB NOT NULL)");
}

bool StateFile::load(DevState& state) {
    SQLite::Statement snapshot(database_, "SELECT body FROM snapshot WHERE id = 1");
    if (!snapshot.executeStep()) return false;
    state.restore(nlohmann::json::parse(snapshot.getColumn(0).getString()));
    SQLite::Statement blobs(database_, "SELECT key, data FROM blobs");
    while (blobs.executeStep()) {
        const std::string key = blobs.getColumn(0).getString();
        const auto data = blobs.getColumn(1);
        std::string bytes(static_cast<const char*>(data.getBlob()), static_cast<std::size_t>(data.getBytes()));
        if (key.rfind("c:", 0) == 0) state.contents[key.substr(2)] = std::move(bytes);
        if (key.rfind("p:", 0) == 0) state.partData[key.substr(2)] = std::move(bytes);
    }
    state.dirtyBlobs.clear();
    return true;
}

void StateFile::save(DevState& state) {
    SQLite::Transaction transaction(database_);
    SQLite::Statement snapshot(database_, "INSERT OR REPLACE INTO snapshot (id, body) VALUES (1, ?)");
    snapshot.bind(1, state.snapshot().dump());
    snapshot.exec();
    for (const auto& key : state.dirtyBlobs) {
        const auto& blobs = key.rfind("c:", 0) == 0 ? state.contents : state.partData;
        const auto found = blobs.find(key.substr(2));
        if (found == blobs.end()) {
            SQLite::Statement remove(database_, "DELETE FROM blobs WHERE key = ?");
            remove.bind(1, key);
            remove.exec();
        } else {
            SQLite::Statement put(database_, "INSERT OR REPLACE INTO blobs (key, data) VALUES (?, ?)");
            put.bind(1, key);
            put.bind(2, found->second.data(), static_cast<int>(found->second.size()));
            put.exec();
        }
    }
    transaction.commit();
    state.dirtyBlobs.clear();
}

}  // namespace DevServer

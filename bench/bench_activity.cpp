// The activity store against raw sqlite3 prepared statements doing the same work on the
// same kind of connection (a file in a temporary folder, a temporary table):
//
//   bench_activity [rows=100000] [repetitions=5]
//
// Inserts: `rows` rows, time per insert. Lookups: 10,000 lookups (200 without the index) of logged triples once
// the table holds 1,000 rows and once it holds `rows`, time per lookup. Figures are the
// median of the repetitions; "ratio" is raw time / store time (1.0 = as fast as raw).
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Common/local/LocalDatabaseManager.h"
#include "bench/support/Measurement.h"

namespace {

using Clock = std::chrono::steady_clock;
using Action = Common::TarnEventActionType;

int lookups = 10'000;
constexpr Action actions[] = {Action::copy, Action::create, Action::modify, Action::move, Action::rename};

std::string itemID(int i) { return "item-" + std::to_string(i * 7919 % 1'000'003); }

struct Triple {
    std::int64_t user;
    std::string item;
    Action action;
};

Triple triple(int i) { return {i % 97, itemID(i), actions[i % 5]}; }

// The same statements on a plain connection, through the C interface.
class RawStore {
public:
    RawStore(const std::filesystem::path& file, bool indexed) {
        sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(db_,
                     R"(CREATE TEMPORARY TABLE IF NOT EXISTS "activities" ("id" INTEGER PRIMARY KEY NOT NULL, "user_id" INTEGER NOT NULL, "item_id" TEXT NOT NULL, "action" TEXT NOT NULL))",
                     nullptr, nullptr, nullptr);
        if (indexed) {
            sqlite3_exec(db_, R"(CREATE INDEX IF NOT EXISTS temp."activities_triple" ON "activities" ("user_id", "item_id", "action"))",
                         nullptr, nullptr, nullptr);
        }
        sqlite3_prepare_v2(db_, R"(INSERT INTO "activities" ("user_id", "item_id", "action") VALUES (?, ?, ?))", -1, &insert_, nullptr);
        sqlite3_prepare_v2(db_, R"(SELECT count(*) FROM "activities" WHERE "user_id" = ? AND "item_id" = ? AND "action" = ?)", -1,
                           &count_, nullptr);
    }
    ~RawStore() {
        sqlite3_finalize(insert_);
        sqlite3_finalize(count_);
        sqlite3_close_v2(db_);
    }
    void insert(const Triple& t) {
        bind(insert_, t);
        sqlite3_step(insert_);
        sqlite3_reset(insert_);
    }
    bool exists(const Triple& t) {
        bind(count_, t);
        const bool found = sqlite3_step(count_) == SQLITE_ROW && sqlite3_column_int64(count_, 0) > 0;
        sqlite3_reset(count_);
        return found;
    }

private:
    static void bind(sqlite3_stmt* s, const Triple& t) {
        sqlite3_bind_int64(s, 1, t.user);
        sqlite3_bind_text(s, 2, t.item.c_str(), static_cast<int>(t.item.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 3, Platform::rawValue(t.action).data(), -1, SQLITE_STATIC);
    }
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* count_ = nullptr;
};

double nanosecondsPer(int count, const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

struct Figures {
    double insert = 0, lookupSmall = 0, lookupLarge = 0;
};

// One run against a fresh store: inserts up to 1,000 rows, lookups, the rest, lookups.
template <class Store>
Figures run(Store& store, int rows) {
    Figures f;
    std::vector<Triple> triples;
    triples.reserve(rows);
    for (int i = 0; i < rows; ++i) triples.push_back(triple(i));
    const int small = std::min(rows, 1000);
    const auto insertRange = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if constexpr (std::is_same_v<Store, RawStore>) {
                store.insert(triples[i]);
            } else {
                store.loggingActivity(triples[i].user, triples[i].item, triples[i].action);
            }
        }
    };
    const auto lookup = [&](int among) {
        int found = 0;
        for (int i = 0; i < lookups; ++i) {
            const auto& t = triples[(i * 104729) % among];
            if constexpr (std::is_same_v<Store, RawStore>) {
                found += store.exists(t);
            } else {
                found += store.activityExists(t.user, t.item, t.action);
            }
        }
        if (found != lookups) std::fprintf(stderr, "lookup missed rows: %d of %d\n", found, lookups);
    };
    double insertTime = nanosecondsPer(small, [&] { insertRange(0, small); }) * small;
    f.lookupSmall = nanosecondsPer(lookups, [&] { lookup(small); });
    insertTime += nanosecondsPer(rows - small, [&] { insertRange(small, rows); }) * (rows - small);
    f.insert = insertTime / rows;
    f.lookupLarge = nanosecondsPer(lookups, [&] { lookup(rows); });
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::max(1001, std::atoi(argv[1])) : 100'000;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string pattern = (std::filesystem::temp_directory_path() / "quillo-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    const std::filesystem::path folder(pattern);

    std::vector<Figures> store, raw, rawScan;
    for (int r = 0; r < repetitions; ++r) {
        {
            Common::LocalDatabaseManager manager(folder);
            store.push_back(run(manager, rows));
        }
        {
            RawStore plain(folder / "raw.db", /*indexed*/ true);
            raw.push_back(run(plain, rows));
        }
        {
            // A lookup here reads the whole table: fewer of them say as much.
            const int saved = lookups;
            lookups = 200;
            RawStore plain(folder / "scan.db", /*indexed*/ false);
            rawScan.push_back(run(plain, rows));
            lookups = saved;
        }
    }
    const auto pick = [](const std::vector<Figures>& all, double Figures::*field) {
        std::vector<double> values;
        for (const auto& f : all) values.push_back(f.*field);
        return BenchSupport::median(values);
    };
    std::printf("%-28s %12s %12s %12s %8s\n", "ns per operation", "store", "raw indexed", "raw no index", "ratio");
    const struct {
        const char* name;
        double Figures::*field;
    } lines[] = {{"insert", &Figures::insert}, {"lookup at 1,000 rows", &Figures::lookupSmall},
                 {"lookup at all rows", &Figures::lookupLarge}};
    for (const auto& line : lines) {
        const double s = pick(store, line.field), r = pick(raw, line.field), n = pick(rawScan, line.field);
        std::printf("%-28s %12.0f %12.0f %12.0f %8.2f\n", line.name, s, r, n, r / s);
    }
    std::printf("rows: %d, lookups: %d, repetitions: %d\n", rows, lookups, repetitions);
    std::filesystem::remove_all(folder);
    return 0;
}

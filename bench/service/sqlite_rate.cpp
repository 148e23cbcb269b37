// The machine's raw SQLite rate for a one-row write transaction, with the
// service's own settings (WAL, synchronous FULL or NORMAL): the ceiling for
// money operations, each of which is one such transaction and a bit more.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: sqlite_rate DB full|normal [seconds]\n");
        return 2;
    }
    const std::string sync = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 5;
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[1], &db) != SQLITE_OK) return 1;
    auto exec = [&](const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
            std::exit(1);
        }
    };
    exec("PRAGMA journal_mode=WAL");
    exec(sync == "full" ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    exec("CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, amount INTEGER NOT NULL)");
    exec("INSERT OR IGNORE INTO t VALUES(1, 0)");
    sqlite3_stmt *begin, *update, *commit;
    sqlite3_prepare_v2(db, "BEGIN IMMEDIATE", -1, &begin, nullptr);
    sqlite3_prepare_v2(db, "UPDATE t SET amount = amount + 1 WHERE id = 1", -1, &update, nullptr);
    sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
    const auto start = std::chrono::steady_clock::now();
    long n = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (sqlite3_stmt* st : {begin, update, commit}) {
            if (sqlite3_step(st) != SQLITE_DONE) return 1;
            sqlite3_reset(st);
        }
        ++n;
        if (n % 64 == 0) elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f\n", n / elapsed);
    sqlite3_finalize(begin);
    sqlite3_finalize(update);
    sqlite3_finalize(commit);
    sqlite3_close(db);
    return 0;
}

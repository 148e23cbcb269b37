// SQLite in WAL mode: readers never wait for the writer, writes are taken one
// at a time inside the process, so no transaction ever meets SQLITE_BUSY from
// a sibling thread (other processes, like the credit command, wait up to 10 s).
#include "Money.h"
#include "GroupCommit.h"
#include "SqlTx.h"

#include <sqlite3.h>

#include <chrono>
#include <iterator>
#include <thread>
#include <mutex>
#include <unordered_map>

namespace {

struct SqliteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Connection {
public:
    Connection(const std::string& path, bool synchronousFull)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            throw SqliteError("cannot open " + path + ": " + sqlite3_errmsg(m_db));
        sqlite3_busy_timeout(m_db, 10000);
        exec("PRAGMA journal_mode=WAL");
        exec(synchronousFull ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
        exec("PRAGMA foreign_keys=ON");
    }
    ~Connection()
    {
        for (auto& [sql, st] : m_cache) sqlite3_finalize(st);
        sqlite3_close(m_db);
    }
    void exec(const char* sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : "?";
            sqlite3_free(err);
            throw SqliteError(std::string(sql).substr(0, 60) + ": " + msg);
        }
    }
    sqlite3_stmt* prepare(const char* sql)
    {
        auto it = m_cache.find(sql);
        if (it != m_cache.end()) {
            sqlite3_reset(it->second);
            sqlite3_clear_bindings(it->second);
            return it->second;
        }
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            throw SqliteError(std::string("prepare: ") + sqlite3_errmsg(m_db));
        m_cache.emplace(sql, st);
        return st;
    }
    sqlite3* db() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> m_cache; // keyed by the literal's address
};

// One statement execution: bind in order, step through rows.
class Query {
public:
    Query(Connection& c, const char* sql) : m_c(c), m_st(c.prepare(sql)) {}
    Query(Query&& o) noexcept : m_c(o.m_c), m_st(o.m_st), m_i(o.m_i) { o.m_st = nullptr; }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query()
    {
        if (m_st) sqlite3_reset(m_st);
    }
    Query& operator()(std::int64_t v)
    {
        sqlite3_bind_int64(m_st, ++m_i, v);
        return *this;
    }
    Query& operator()(const std::string& v)
    {
        sqlite3_bind_text(m_st, ++m_i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool next()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw SqliteError(std::string("step: ") + sqlite3_errmsg(m_c.db()));
    }
    // For INSERTs that may meet a UNIQUE constraint.
    bool tryRun()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_DONE) return true;
        if ((rc & 0xff) == SQLITE_CONSTRAINT) return false;
        throw SqliteError(std::string("step: ") + sqlite3_errmsg(m_c.db()));
    }
    void run()
    {
        while (next()) {
        }
    }
    std::int64_t i(int col) const { return sqlite3_column_int64(m_st, col); }
    std::string s(int col) const
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_st, col));
        return p ? std::string(p, sqlite3_column_bytes(m_st, col)) : std::string();
    }

private:
    Connection& m_c;
    sqlite3_stmt* m_st;
    int m_i = 0;
};

// Migrations, in order; each runs once, in the transaction that records it in
// schema_version. The first is the schema of the builds made before versions
// were recorded (hence IF NOT EXISTS).
const char* Migration1 = R"sql(
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, login_key TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,
  refcode TEXT NOT NULL UNIQUE, referrer INTEGER, refcol INTEGER NOT NULL DEFAULT 0,
  last_faucet INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS txns(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS ledger(
  id INTEGER PRIMARY KEY, txn INTEGER NOT NULL REFERENCES txns(id), account_id INTEGER NOT NULL REFERENCES accounts(id),
  coin TEXT NOT NULL, bucket INTEGER NOT NULL, delta INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS ledger_by_account ON ledger(account_id, coin, bucket);
CREATE TABLE IF NOT EXISTS balances(
  account_id INTEGER NOT NULL REFERENCES accounts(id), coin TEXT NOT NULL, bucket INTEGER NOT NULL,
  amount INTEGER NOT NULL, PRIMARY KEY(account_id, coin, bucket)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS stats(
  account_id INTEGER NOT NULL, coin TEXT NOT NULL, dep_val INTEGER NOT NULL DEFAULT 0,
  earned_inv INTEGER NOT NULL DEFAULT 0, earned_ref INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(account_id, coin)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS investments(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, coin TEXT NOT NULL, principal INTEGER NOT NULL,
  rental_code INTEGER NOT NULL, fee_percent INTEGER NOT NULL, apr INTEGER NOT NULL, started INTEGER NOT NULL,
  ends INTEGER NOT NULL, paid INTEGER NOT NULL DEFAULT 0, closed INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS investments_open ON investments(closed, account_id);
CREATE TABLE IF NOT EXISTS deposit_addresses(
  account_id INTEGER NOT NULL, coin_network TEXT NOT NULL, address TEXT NOT NULL UNIQUE,
  PRIMARY KEY(account_id, coin_network)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS withdrawals(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, coin TEXT NOT NULL, network TEXT NOT NULL, address TEXT NOT NULL,
  amount INTEGER NOT NULL, fee INTEGER NOT NULL, net INTEGER NOT NULL, created INTEGER NOT NULL,
  status TEXT NOT NULL DEFAULT 'pending');
CREATE TABLE IF NOT EXISTS reset_codes(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, code_hash TEXT NOT NULL, expires INTEGER NOT NULL,
  used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS reset_outbox(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, code TEXT NOT NULL, created INTEGER NOT NULL, expires INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS lotto_draws(
  id INTEGER PRIMARY KEY, coin TEXT NOT NULL, opened INTEGER NOT NULL, closed INTEGER,
  winner INTEGER, winner_name TEXT, payout INTEGER);
CREATE INDEX IF NOT EXISTS lotto_draws_coin ON lotto_draws(coin, closed);
CREATE TABLE IF NOT EXISTS lotto_stakes(
  draw_id INTEGER NOT NULL, account_id INTEGER NOT NULL, nickname TEXT NOT NULL, amount INTEGER NOT NULL,
  at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS lotto_stakes_draw ON lotto_stakes(draw_id);
INSERT OR IGNORE INTO accounts(id, login, login_key, password_hash, refcode, created) VALUES
  (1, '#issuer', '#issuer', '!', '#issuer', 0), (2, '#house', '#house', '!', '#house', 0),
  (3, '#lottery', '#lottery', '!', '#lottery', 0), (4, '#outbox', '#outbox', '!', '#outbox', 0);
)sql";

// What several instances on one database need to share.
const char* Migration2 = R"sql(
ALTER TABLE accounts ADD COLUMN last_accrual INTEGER NOT NULL DEFAULT 0;
CREATE TABLE login_attempts(
  login_key TEXT PRIMARY KEY, count INTEGER NOT NULL, first INTEGER NOT NULL, last INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE once_requests(
  key TEXT PRIMARY KEY, owner TEXT NOT NULL, at INTEGER NOT NULL, done INTEGER NOT NULL, status INTEGER NOT NULL,
  json INTEGER NOT NULL, body TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE secrets(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE UNIQUE INDEX lotto_one_open_draw ON lotto_draws(coin) WHERE closed IS NULL;
)sql";

// Accounts under attack: failures counted per login and client address, rate
// limits, one outstanding reset code per login with an attempt budget, and the
// clear code kept only until delivered. Codes issued under the old rules go.
const char* Migration3 = R"sql(
DROP TABLE login_attempts;
CREATE TABLE counters(
  kind TEXT NOT NULL, key TEXT NOT NULL, count INTEGER NOT NULL, first INTEGER NOT NULL, last INTEGER NOT NULL,
  PRIMARY KEY(kind, key)) WITHOUT ROWID;
CREATE INDEX counters_last ON counters(last);
DELETE FROM reset_codes;
DELETE FROM reset_outbox;
ALTER TABLE reset_codes ADD COLUMN attempts INTEGER NOT NULL DEFAULT 0;
CREATE INDEX reset_codes_account ON reset_codes(account_id);
ALTER TABLE reset_outbox ADD COLUMN account_id INTEGER NOT NULL DEFAULT 0;
CREATE INDEX reset_outbox_account ON reset_outbox(account_id);
)sql";

// Amounts are integers, always: a REAL (what SQLite's + makes of an overflow) is refused by the table itself.
// A database already holding one is not upgraded: this step fails on it.
const char* Migration4 = R"sql(
CREATE TABLE balances_v4(
  account_id INTEGER NOT NULL REFERENCES accounts(id), coin TEXT NOT NULL, bucket INTEGER NOT NULL,
  amount INTEGER NOT NULL CHECK(typeof(amount) = 'integer'), PRIMARY KEY(account_id, coin, bucket)) WITHOUT ROWID;
INSERT INTO balances_v4 SELECT account_id, coin, bucket, amount FROM balances;
DROP TABLE balances;
ALTER TABLE balances_v4 RENAME TO balances;
CREATE TABLE ledger_v4(
  id INTEGER PRIMARY KEY, txn INTEGER NOT NULL REFERENCES txns(id), account_id INTEGER NOT NULL REFERENCES accounts(id),
  coin TEXT NOT NULL, bucket INTEGER NOT NULL, delta INTEGER NOT NULL CHECK(typeof(delta) = 'integer'));
INSERT INTO ledger_v4 SELECT id, txn, account_id, coin, bucket, delta FROM ledger;
DROP TABLE ledger;
ALTER TABLE ledger_v4 RENAME TO ledger;
CREATE INDEX ledger_by_account ON ledger(account_id, coin, bucket);
CREATE TABLE stats_v4(
  account_id INTEGER NOT NULL, coin TEXT NOT NULL,
  dep_val INTEGER NOT NULL DEFAULT 0 CHECK(typeof(dep_val) = 'integer'),
  earned_inv INTEGER NOT NULL DEFAULT 0 CHECK(typeof(earned_inv) = 'integer'),
  earned_ref INTEGER NOT NULL DEFAULT 0 CHECK(typeof(earned_ref) = 'integer'),
  PRIMARY KEY(account_id, coin)) WITHOUT ROWID;
INSERT INTO stats_v4 SELECT account_id, coin, dep_val, earned_inv, earned_ref FROM stats;
DROP TABLE stats;
ALTER TABLE stats_v4 RENAME TO stats;
ALTER TABLE once_requests ADD COLUMN login_key TEXT NOT NULL DEFAULT '';
ALTER TABLE once_requests ADD COLUMN proof TEXT NOT NULL DEFAULT '';
CREATE INDEX once_requests_at ON once_requests(at);
CREATE TABLE instances(id TEXT PRIMARY KEY, seen INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// The movements' history, one line per movement and account (a day's earnings one line), paged by id through
// its own index; withdrawals remember their transaction id or why they failed. Movements booked before it are
// carried over from the ledger.
const char* Migration5 = R"sql(
CREATE TABLE history(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, coin TEXT NOT NULL, kind TEXT NOT NULL, at INTEGER NOT NULL,
  amount INTEGER NOT NULL CHECK(typeof(amount) = 'integer'), fee INTEGER NOT NULL DEFAULT 0 CHECK(typeof(fee) = 'integer'),
  status TEXT NOT NULL DEFAULT 'done', detail TEXT NOT NULL DEFAULT '', ref INTEGER NOT NULL DEFAULT 0, day INTEGER);
CREATE INDEX history_by_account ON history(account_id, id);
CREATE INDEX history_by_account_coin ON history(account_id, coin, id);
CREATE UNIQUE INDEX history_daily ON history(account_id, kind, coin, day) WHERE day IS NOT NULL;
CREATE INDEX history_by_ref ON history(ref, kind) WHERE ref != 0;
ALTER TABLE withdrawals ADD COLUMN detail TEXT NOT NULL DEFAULT '';
ALTER TABLE withdrawals ADD COLUMN settled INTEGER NOT NULL DEFAULT 0;
)sql" HistoryBackfillSql;

// Account safety: the second factor (accounts.twofa, twofa) and the lottery's committed seeds.
const char* Migration6 = R"sql(
ALTER TABLE accounts ADD COLUMN twofa INTEGER NOT NULL DEFAULT 0;
CREATE TABLE twofa(
  account_id INTEGER PRIMARY KEY, sealed TEXT NOT NULL DEFAULT '', pending TEXT NOT NULL DEFAULT '',
  last_step INTEGER NOT NULL DEFAULT 0);
ALTER TABLE lotto_draws ADD COLUMN seed TEXT NOT NULL DEFAULT '';
)sql";

// The version that made PostgreSQL's money function: nothing to change here.
const char* Migration7 = "";

const char* const Migrations[] = {Migration1, Migration2, Migration3, Migration4, Migration5, Migration6, Migration7};
static_assert(std::size(Migrations) == LatestSchemaVersion);

int RecordedVersion(Connection& c)
{
    Query q(c, "SELECT COALESCE(MAX(version), 0) FROM schema_version");
    return q.next() ? static_cast<int>(q.i(0)) : 0;
}

// Brings the database to the latest schema in one transaction; other
// processes wait for it (BEGIN IMMEDIATE takes the write lock at once).
void Migrate(Connection& c)
{
    c.exec("BEGIN IMMEDIATE");
    try {
        c.exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER PRIMARY KEY, applied INTEGER NOT NULL)");
        int version = RecordedVersion(c);
        if (version == 0) {
            Query old(c, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'accounts'");
            if (old.next()) { // made before versions were recorded: that schema is version 1
                old.run();
                Query(c, "INSERT INTO schema_version(version, applied) VALUES(1, strftime('%s','now'))").run();
                version = 1;
            }
        }
        if (version > LatestSchemaVersion)
            throw SchemaTooNew("the database holds schema version " + std::to_string(version) +
                               ", newer than this build knows (" + std::to_string(LatestSchemaVersion) +
                               "): use a newer ambervale-service");
        for (int v = version + 1; v <= LatestSchemaVersion; ++v) {
            c.exec(Migrations[v - 1]);
            Query(c, "INSERT INTO schema_version(version, applied) VALUES(?, strftime('%s','now'))")(
                static_cast<std::int64_t>(v))
                .run();
        }
        c.exec("COMMIT");
    } catch (...) {
        sqlite3_exec(c.db(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// The shared statements' runner: binds in order, hands the statement back as the cursor.
struct SqliteDb {
    Connection* c;
    template <typename... A>
    Query rows(const char* sql, const A&... args)
    {
        Query q(*c, sql);
        (q(args), ...);
        return q;
    }
};

class SqliteTx final : public SqlTx<SqliteDb> {
public:
    explicit SqliteTx(Connection& c) : SqlTx(SqliteDb{&c}), m_c(c) {}

    void post(const std::string& kind, const std::vector<Leg>& legs, std::int64_t now) override
    {
        std::map<std::string, std::int64_t> sums;
        for (const Leg& l : legs) sums[l.coin] = money::Add(sums[l.coin], l.delta);
        for (const auto& [coin, sum] : sums)
            if (sum != 0) throw std::logic_error("unbalanced movement " + kind + " in " + coin);
        const std::int64_t txn = *id(m_db.rows(sql::InsertTxn, kind, now));
        for (const Leg& l : legs) {
            if (l.delta == 0) continue;
            // The new balance is computed here, checked: SQLite's own + turns an overflow into a REAL.
            const std::int64_t after = money::Add(balance(l.account, l.coin, l.bucket), l.delta);
            Query(m_c, "INSERT INTO balances(account_id, coin, bucket, amount) VALUES(?, ?, ?, ?) "
                       "ON CONFLICT(account_id, coin, bucket) DO UPDATE SET amount = excluded.amount")(l.account)(
                l.coin)(static_cast<std::int64_t>(l.bucket))(after)
                .run();
            if (after < 0 && l.account != system_account::Issuer) throw InsufficientFunds(l.account);
            run(sql::InsertLedger, txn, l.account, l.coin, static_cast<std::int64_t>(l.bucket), l.delta);
        }
    }
    void addStats(std::int64_t account, const std::string& coin, std::int64_t depVal, std::int64_t earnedInv,
                  std::int64_t earnedRef) override
    {
        // Summed here, checked, like the balances.
        {
            Query q(m_c, "SELECT dep_val, earned_inv, earned_ref FROM stats WHERE account_id = ? AND coin = ?");
            q(account)(coin);
            if (q.next()) {
                depVal = money::Add(q.i(0), depVal);
                earnedInv = money::Add(q.i(1), earnedInv);
                earnedRef = money::Add(q.i(2), earnedRef);
            }
        }
        Query(m_c, "INSERT INTO stats(account_id, coin, dep_val, earned_inv, earned_ref) VALUES(?, ?, ?, ?, ?) "
                   "ON CONFLICT(account_id, coin) DO UPDATE SET dep_val = excluded.dep_val, "
                   "earned_inv = excluded.earned_inv, earned_ref = excluded.earned_ref")(account)(
            coin)(depVal)(earnedInv)(earnedRef)
            .run();
    }

    void addDailyHistory(const HistoryItem& h, std::int64_t day) override
    {
        // Summed here, checked: SQLite's own + turns an overflow into a REAL.
        Query q(m_c, "SELECT id, amount, fee FROM history WHERE account_id = ? AND kind = ? AND coin = ? AND day = ?");
        q(h.account)(h.kind)(h.coin)(day);
        if (q.next()) {
            const std::int64_t id = q.i(0), amount = money::Add(q.i(1), h.amount), fee = money::Add(q.i(2), h.fee);
            Query(m_c, "UPDATE history SET amount = ?, fee = ?, at = ? WHERE id = ?")(amount)(fee)(h.at)(id).run();
            return;
        }
        Query(m_c, "INSERT INTO history(account_id, coin, kind, at, amount, fee, status, detail, ref, day) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")(h.account)(h.coin)(h.kind)(h.at)(h.amount)(h.fee)(h.status)(
            h.detail)(h.ref)(day)
            .run();
    }
    std::vector<Stake> stakes(std::int64_t draw) override
    {
        std::vector<Stake> out;
        Query q(m_c, "SELECT account_id, MIN(nickname), SUM(amount) FROM lotto_stakes WHERE draw_id = ? "
                     "GROUP BY account_id ORDER BY MIN(rowid)");
        q(draw);
        while (q.next()) out.push_back(Stake{q.i(0), q.s(1), q.i(2)});
        return out;
    }

private:
    bool amountsAreIntegers(VerifyReport& r) override
    {
        // A REAL (what an overflow of SQLite's + makes) would pass the sums on rounding.
        Query q(m_c, "SELECT 'balance', account_id, coin, bucket, CAST(amount AS TEXT) FROM balances "
                     "WHERE typeof(amount) != 'integer' UNION ALL "
                     "SELECT 'ledger entry', account_id, coin, bucket, CAST(delta AS TEXT) FROM ledger "
                     "WHERE typeof(delta) != 'integer' UNION ALL "
                     "SELECT 'figures', account_id, coin, 0, CAST(dep_val AS TEXT) || ' ' || "
                     "CAST(earned_inv AS TEXT) || ' ' || CAST(earned_ref AS TEXT) FROM stats "
                     "WHERE typeof(dep_val) != 'integer' OR typeof(earned_inv) != 'integer' OR "
                     "typeof(earned_ref) != 'integer'");
        while (q.next())
            r.problems.push_back(q.s(0) + " is not an integer: account " + std::to_string(q.i(1)) + " " + q.s(2) +
                                 " bucket " + std::to_string(q.i(3)) + " holds " + q.s(4));
        return r.problems.empty();
    }

    Connection& m_c;
};

class SqliteStore final : public Store, private GroupCommit {
public:
    SqliteStore(std::string path, bool full) : m_path(std::move(path)), m_full(full)
    {
        m_writer = std::make_unique<Connection>(m_path, m_full);
        Migrate(*m_writer);
    }
    void read(const std::function<void(StoreTx&)>& work) override
    {
        std::unique_ptr<Connection> c;
        {
            std::lock_guard lock(m_poolMutex);
            if (!m_pool.empty()) {
                c = std::move(m_pool.back());
                m_pool.pop_back();
            }
        }
        if (!c) c = std::make_unique<Connection>(m_path, m_full);
        struct Return {
            SqliteStore* self;
            std::unique_ptr<Connection>& c;
            ~Return()
            {
                std::lock_guard lock(self->m_poolMutex);
                self->m_pool.push_back(std::move(c));
            }
        } back{this, c};
        c->exec("BEGIN");
        try {
            SqliteTx tx(*c);
            work(tx);
            c->exec("COMMIT");
        } catch (...) {
            sqlite3_exec(c->db(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    void write(const std::function<void(StoreTx&)>& work) override { GroupCommit::write(work); }
    // Light writes join the same transactions: with concurrent writers their commit is shared anyway, and
    // the one writer connection serves them all.
    void writeLight(const std::function<void(StoreTx&)>& work) override { GroupCommit::write(work); }
    int schemaVersion() override
    {
        Connection c(m_path, m_full); // the writer's connection belongs to the group
        return RecordedVersion(c);
    }
    const GroupCommit* groupCommit() const override { return this; }
    // WAL mode: readers see the last commit and never wait for the writer.
    bool readsWithoutWaiting() const override { return true; }
    bool ping() override
    {
        try {
            read([](StoreTx&) {});
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

private:
    void open() override { m_writer->exec("BEGIN IMMEDIATE"); }
    void member(const std::function<void(StoreTx&)>& work) override
    {
        sqlite3* db = m_writer->db();
        try {
            m_writer->exec("SAVEPOINT w");
        } catch (const SqliteError& e) {
            throw GroupLost(e.what());
        }
        try {
            SqliteTx tx(*m_writer);
            work(tx);
        } catch (...) {
            // An I/O or full-disk error may have ended the whole transaction; else only this work goes.
            if (sqlite3_get_autocommit(db) ||
                sqlite3_exec(db, "ROLLBACK TO w; RELEASE w", nullptr, nullptr, nullptr) != SQLITE_OK)
                throw GroupLost("the write transaction was lost");
            throw;
        }
        if (sqlite3_exec(db, "RELEASE w", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw GroupLost(std::string("release: ") + sqlite3_errmsg(db));
    }
    Closed close() override
    {
        sqlite3* db = m_writer->db();
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return Closed::Committed;
        const std::string why = sqlite3_errmsg(db);
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw SqliteError("commit: " + why); // nothing of it stays: every writer of it fails
    }
    void abandon() override
    {
        sqlite3* db = m_writer->db();
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void pauseBeforeRetry(int round) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(round, 10) * 10));
    }

    std::string m_path;
    bool m_full;
    std::unique_ptr<Connection> m_writer; // used only by the group's open, member, close and abandon
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<Connection>> m_pool;
};

} // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, bool synchronousFull)
{
    return std::make_unique<SqliteStore>(path, synchronousFull);
}

// SQLite in WAL mode: readers never wait for the writer, writes are taken one
// at a time inside the process, so no transaction ever meets SQLITE_BUSY from
// a sibling thread (other processes, like the credit command, wait up to 10 s).
#include "Money.h"
#include "GroupCommit.h"
#include "HistorySql.h"
#include "Store.h"

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
    ~Query() { sqlite3_reset(m_st); }
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
)sql"
    HistoryBackfillSql;

// Account safety: the second factor (accounts.twofa, twofa) and the lottery's committed seeds.
const char* Migration6 = R"sql(
ALTER TABLE accounts ADD COLUMN twofa INTEGER NOT NULL DEFAULT 0;
CREATE TABLE twofa(
  account_id INTEGER PRIMARY KEY, sealed TEXT NOT NULL DEFAULT '', pending TEXT NOT NULL DEFAULT '',
  last_step INTEGER NOT NULL DEFAULT 0);
ALTER TABLE lotto_draws ADD COLUMN seed TEXT NOT NULL DEFAULT '';
)sql";

const char* const Migrations[] = {Migration1, Migration2, Migration3, Migration4, Migration5, Migration6};
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

Account ReadAccount(const Query& q)
{
    return Account{q.i(0), q.s(1), q.s(2), q.s(3), q.s(4), q.i(5), q.i(6), q.i(7), q.i(8), q.i(9) != 0};
}

class SqliteTx final : public StoreTx {
public:
    explicit SqliteTx(Connection& c) : m_c(c) {}

    std::optional<Account> accountByKey(const std::string& key) override
    {
        Query q(m_c, "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer,0), refcol, last_faucet, "
                     "last_accrual, twofa "
                     "FROM accounts WHERE login_key = ?");
        q(key);
        if (!q.next()) return std::nullopt;
        return ReadAccount(q);
    }
    std::optional<Account> accountById(std::int64_t id) override
    {
        Query q(m_c, "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer,0), refcol, last_faucet, "
                     "last_accrual, twofa "
                     "FROM accounts WHERE id = ?");
        q(id);
        if (!q.next()) return std::nullopt;
        return ReadAccount(q);
    }
    std::optional<Account> accountByRefcode(const std::string& code) override
    {
        Query q(m_c, "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer,0), refcol, last_faucet, "
                     "last_accrual, twofa "
                     "FROM accounts WHERE refcode = ? AND id > 4");
        q(code);
        if (!q.next()) return std::nullopt;
        return ReadAccount(q);
    }
    std::optional<std::int64_t> insertAccount(const Account& a, std::int64_t now) override
    {
        Query q(m_c, "INSERT INTO accounts(login, login_key, password_hash, refcode, referrer, created) "
                     "VALUES(?, ?, ?, ?, NULLIF(?, 0), ?)");
        q(a.login)(a.loginKey)(a.passwordHash)(a.refcode)(a.referrer)(now);
        if (!q.tryRun()) return std::nullopt;
        return sqlite3_last_insert_rowid(m_c.db());
    }
    void setPasswordHash(std::int64_t account, const std::string& hash) override
    {
        Query(m_c, "UPDATE accounts SET password_hash = ? WHERE id = ?")(hash)(account).run();
    }
    void addReferral(std::int64_t account) override
    {
        Query(m_c, "UPDATE accounts SET refcol = refcol + 1 WHERE id = ?")(account).run();
    }
    void setLastFaucet(std::int64_t account, std::int64_t at) override
    {
        Query(m_c, "UPDATE accounts SET last_faucet = ? WHERE id = ?")(at)(account).run();
    }
    void setLastAccrual(std::int64_t account, std::int64_t at) override
    {
        Query(m_c, "UPDATE accounts SET last_accrual = ? WHERE id = ?")(at)(account).run();
    }

    void post(const std::string& kind, const std::vector<Leg>& legs, std::int64_t now) override
    {
        std::map<std::string, std::int64_t> sums;
        for (const Leg& l : legs) sums[l.coin] = money::Add(sums[l.coin], l.delta);
        for (const auto& [coin, sum] : sums)
            if (sum != 0) throw std::logic_error("unbalanced movement " + kind + " in " + coin);
        Query(m_c, "INSERT INTO txns(kind, at) VALUES(?, ?)")(kind)(now).run();
        const std::int64_t txn = sqlite3_last_insert_rowid(m_c.db());
        for (const Leg& l : legs) {
            if (l.delta == 0) continue;
            // The new balance is computed here, checked: SQLite's own + turns an overflow into a REAL.
            const std::int64_t after = money::Add(balance(l.account, l.coin, l.bucket), l.delta);
            Query(m_c, "INSERT INTO balances(account_id, coin, bucket, amount) VALUES(?, ?, ?, ?) "
                       "ON CONFLICT(account_id, coin, bucket) DO UPDATE SET amount = excluded.amount")(l.account)(
                l.coin)(static_cast<std::int64_t>(l.bucket))(after)
                .run();
            if (after < 0 && l.account != system_account::Issuer) throw InsufficientFunds(l.account);
            Query(m_c, "INSERT INTO ledger(txn, account_id, coin, bucket, delta) VALUES(?, ?, ?, ?, ?)")(txn)(
                l.account)(l.coin)(static_cast<std::int64_t>(l.bucket))(l.delta)
                .run();
        }
    }
    std::int64_t balance(std::int64_t account, const std::string& coin, Bucket bucket) override
    {
        Query q(m_c, "SELECT amount FROM balances WHERE account_id = ? AND coin = ? AND bucket = ?");
        q(account)(coin)(static_cast<std::int64_t>(bucket));
        return q.next() ? q.i(0) : 0;
    }
    std::map<std::string, CoinFigures> figures(std::int64_t account) override
    {
        std::map<std::string, CoinFigures> out;
        {
            Query q(m_c, "SELECT coin, bucket, amount FROM balances WHERE account_id = ?");
            q(account);
            while (q.next()) (q.i(1) == 0 ? out[q.s(0)].wallet : out[q.s(0)].invest) = q.i(2);
        }
        Query q(m_c, "SELECT coin, dep_val, earned_inv, earned_ref FROM stats WHERE account_id = ?");
        q(account);
        while (q.next()) {
            auto& f = out[q.s(0)];
            f.depVal = q.i(1);
            f.earnedInv = q.i(2);
            f.earnedRef = q.i(3);
        }
        return out;
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
                   "earned_inv = excluded.earned_inv, earned_ref = excluded.earned_ref")(account)(coin)(depVal)(
            earnedInv)(earnedRef)
            .run();
    }

    std::vector<Investment> openInvestments(std::int64_t account) override
    {
        std::vector<Investment> out;
        Query q(m_c, "SELECT id, account_id, coin, principal, rental_code, fee_percent, apr, started, ends, paid "
                     "FROM investments WHERE closed = 0 AND account_id = ? ORDER BY id");
        q(account);
        while (q.next())
            out.push_back(Investment{q.i(0), q.i(1), q.s(2), q.i(3), static_cast<int>(q.i(4)), static_cast<int>(q.i(5)),
                                     static_cast<int>(q.i(6)), q.i(7), q.i(8), q.i(9)});
        return out;
    }
    std::vector<std::int64_t> accountsWithInvestmentsDue(std::int64_t paidBefore, std::int64_t now) override
    {
        std::vector<std::int64_t> out;
        Query q(m_c, AccountsDueSql);
        q(paidBefore)(now);
        while (q.next()) out.push_back(q.i(0));
        return out;
    }
    void insertInvestment(const Investment& v) override
    {
        Query(m_c, "INSERT INTO investments(account_id, coin, principal, rental_code, fee_percent, apr, started, ends) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")(v.account)(v.coin)(v.principal)(v.rentalCode)(v.feePercent)(v.apr)(
            v.started)(v.ends)
            .run();
    }
    bool setInvestmentPaid(std::int64_t id, std::int64_t paidBefore, std::int64_t paid, bool closed) override
    {
        Query(m_c, "UPDATE investments SET paid = ?, closed = ? WHERE id = ? AND paid = ? AND closed = 0")(paid)(
            closed ? 1 : 0)(id)(paidBefore)
            .run();
        return sqlite3_changes(m_c.db()) == 1;
    }

    std::optional<std::string> depositAddress(std::int64_t account, const std::string& cn) override
    {
        Query q(m_c, "SELECT address FROM deposit_addresses WHERE account_id = ? AND coin_network = ?");
        q(account)(cn);
        if (!q.next()) return std::nullopt;
        return q.s(0);
    }
    bool insertDepositAddress(std::int64_t account, const std::string& cn, const std::string& address) override
    {
        return Query(m_c, "INSERT INTO deposit_addresses(account_id, coin_network, address) VALUES(?, ?, ?)")(account)(
                   cn)(address)
            .tryRun();
    }

    std::int64_t insertWithdrawal(const Withdrawal& w) override
    {
        Query(m_c, "INSERT INTO withdrawals(login, coin, network, address, amount, fee, net, created) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")(w.login)(w.coin)(w.network)(w.address)(w.amount)(w.fee)(w.net)(
            w.created)
            .run();
        return sqlite3_last_insert_rowid(m_c.db());
    }
    std::optional<Withdrawal> withdrawal(std::int64_t id, std::string* status) override
    {
        Query q(m_c, "SELECT id, login, coin, network, address, amount, fee, net, created, status FROM withdrawals "
                     "WHERE id = ?");
        q(id);
        if (!q.next()) return std::nullopt;
        if (status) *status = q.s(9);
        return Withdrawal{q.i(0), q.s(1), q.s(2), q.s(3), q.s(4), q.i(5), q.i(6), q.i(7), q.i(8)};
    }
    bool settleWithdrawal(std::int64_t id, const std::string& status, const std::string& detail,
                          std::int64_t at) override
    {
        Query(m_c, "UPDATE withdrawals SET status = ?, detail = ?, settled = ? WHERE id = ? AND status = 'pending'")(
            status)(detail)(at)(id)
            .run();
        if (sqlite3_changes(m_c.db()) != 1) return false;
        Query(m_c, "UPDATE history SET status = ?, detail = ? WHERE ref = ? AND kind = 'withdraw' AND amount < 0")(
            status)(detail)(id)
            .run();
        return true;
    }

    std::int64_t addHistory(const HistoryItem& h) override
    {
        Query(m_c, "INSERT INTO history(account_id, coin, kind, at, amount, fee, status, detail, ref) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)")(h.account)(h.coin)(h.kind)(h.at)(h.amount)(h.fee)(h.status)(
            h.detail)(h.ref)
            .run();
        return sqlite3_last_insert_rowid(m_c.db());
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
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")(h.account)(h.coin)(h.kind)(h.at)(h.amount)(h.fee)(
            h.status)(h.detail)(h.ref)(day)
            .run();
    }
    std::vector<HistoryItem> history(std::int64_t account, const std::string& coin, std::int64_t before,
                                     int limit) override
    {
        std::vector<HistoryItem> out;
        auto read = [&](Query& q) {
            while (q.next())
                out.push_back(HistoryItem{q.i(0), account, q.s(1), q.s(2), q.i(3), q.i(4), q.i(5), q.s(6), q.s(7),
                                          q.i(8)});
        };
        if (coin.empty()) {
            Query q(m_c, "SELECT id, coin, kind, at, amount, fee, status, detail, ref FROM history "
                         "WHERE account_id = ? AND id < ? ORDER BY id DESC LIMIT ?");
            q(account)(before)(static_cast<std::int64_t>(limit));
            read(q);
        } else {
            Query q(m_c, "SELECT id, coin, kind, at, amount, fee, status, detail, ref FROM history "
                         "WHERE account_id = ? AND coin = ? AND id < ? ORDER BY id DESC LIMIT ?");
            q(account)(coin)(before)(static_cast<std::int64_t>(limit));
            read(q);
        }
        return out;
    }
    std::vector<RentalState> rentals(std::int64_t account) override
    {
        std::vector<RentalState> out;
        Query q(m_c, "SELECT id, account_id, coin, principal, rental_code, fee_percent, apr, started, ends, paid, "
                     "closed FROM investments WHERE account_id = ? ORDER BY id DESC");
        q(account);
        while (q.next())
            out.push_back(RentalState{Investment{q.i(0), q.i(1), q.s(2), q.i(3), static_cast<int>(q.i(4)),
                                                 static_cast<int>(q.i(5)), static_cast<int>(q.i(6)), q.i(7), q.i(8),
                                                 q.i(9)},
                                      q.i(10) != 0});
        return out;
    }
    std::vector<Withdrawal> withdrawals() override
    {
        std::vector<Withdrawal> out;
        Query q(m_c, "SELECT id, login, coin, network, address, amount, fee, net, created FROM withdrawals "
                     "WHERE status = 'pending' ORDER BY id");
        while (q.next())
            out.push_back(Withdrawal{q.i(0), q.s(1), q.s(2), q.s(3), q.s(4), q.i(5), q.i(6), q.i(7), q.i(8)});
        return out;
    }

    void insertResetCode(std::int64_t account, const std::string& codeHash, std::int64_t expires) override
    {
        Query(m_c,
              "INSERT INTO reset_codes(account_id, code_hash, expires) VALUES(?, ?, ?)")(account)(codeHash)(expires)
            .run();
    }
    std::optional<ResetCode> resetCode(std::int64_t account, std::int64_t now) override
    {
        Query q(m_c, "SELECT id, code_hash, attempts, expires FROM reset_codes WHERE account_id = ? AND used = 0 "
                     "AND expires > ? ORDER BY id DESC LIMIT 1");
        q(account)(now);
        if (!q.next()) return std::nullopt;
        return ResetCode{q.i(0), q.s(1), static_cast<int>(q.i(2)), q.i(3)};
    }
    void countResetCodeAttempt(std::int64_t code) override
    {
        Query(m_c, "UPDATE reset_codes SET attempts = attempts + 1 WHERE id = ?")(code).run();
    }
    void retireResetCodes(std::int64_t account) override
    {
        Query(m_c, "DELETE FROM reset_codes WHERE account_id = ?")(account).run();
        Query(m_c, "DELETE FROM reset_outbox WHERE account_id = ?")(account).run();
    }
    void insertResetMail(const ResetMail& m) override
    {
        Query(m_c, "INSERT INTO reset_outbox(login, code, created, expires, account_id) VALUES(?, ?, ?, ?, ?)")(
            m.login)(m.code)(m.created)(m.expires)(m.account)
            .run();
    }
    std::vector<ResetMail> resetMails() override
    {
        std::vector<ResetMail> out;
        Query q(m_c, "SELECT id, login, code, created, expires, account_id FROM reset_outbox ORDER BY id");
        while (q.next()) out.push_back(ResetMail{q.i(0), q.s(1), q.s(2), q.i(3), q.i(4), q.i(5)});
        return out;
    }
    void dropResetMails(const std::vector<std::int64_t>& ids) override
    {
        for (std::int64_t id : ids) Query(m_c, "DELETE FROM reset_outbox WHERE id = ?")(id).run();
    }

    std::optional<TwoFactor> twoFactor(std::int64_t account) override
    {
        Query q(m_c, "SELECT sealed, pending, last_step FROM twofa WHERE account_id = ?");
        q(account);
        if (!q.next()) return std::nullopt;
        return TwoFactor{q.s(0), q.s(1), q.i(2)};
    }
    void setTwoFactor(std::int64_t account, const TwoFactor& t) override
    {
        Query(m_c, "INSERT INTO twofa(account_id, sealed, pending, last_step) VALUES(?, ?, ?, ?) "
                   "ON CONFLICT(account_id) DO UPDATE SET sealed = excluded.sealed, pending = excluded.pending, "
                   "last_step = excluded.last_step")(account)(t.sealed)(t.pending)(t.lastStep)
            .run();
        Query(m_c, "UPDATE accounts SET twofa = ? WHERE id = ?")(static_cast<std::int64_t>(!t.sealed.empty()))(account)
            .run();
    }
    bool takeTwoFactorStep(std::int64_t account, std::int64_t step) override
    {
        Query(m_c, "UPDATE twofa SET last_step = ? WHERE account_id = ? AND last_step < ?")(step)(account)(step).run();
        return sqlite3_changes(m_c.db()) == 1;
    }

    std::optional<Draw> openDraw(const std::string& coin) override
    {
        Query q(m_c,
                "SELECT id, coin, opened, seed FROM lotto_draws WHERE coin = ? AND closed IS NULL ORDER BY id LIMIT 1");
        q(coin);
        if (!q.next()) return std::nullopt;
        return Draw{q.i(0), q.s(1), q.i(2), q.s(3)};
    }
    std::vector<Draw> openDraws() override
    {
        std::vector<Draw> out;
        Query q(m_c, "SELECT id, coin, opened, seed FROM lotto_draws WHERE closed IS NULL ORDER BY id");
        while (q.next()) out.push_back(Draw{q.i(0), q.s(1), q.i(2), q.s(3)});
        return out;
    }
    std::int64_t createDraw(const std::string& coin, std::int64_t now, const std::string& seed) override
    {
        Query(m_c, "INSERT INTO lotto_draws(coin, opened, seed) VALUES(?, ?, ?)")(coin)(now)(seed).run();
        return sqlite3_last_insert_rowid(m_c.db());
    }
    void addStake(std::int64_t draw, const Stake& s, std::int64_t now) override
    {
        Query(m_c, "INSERT INTO lotto_stakes(draw_id, account_id, nickname, amount, at) VALUES(?, ?, ?, ?, ?)")(draw)(
            s.account)(s.nickname)(s.amount)(now)
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
    bool closeDraw(std::int64_t draw, std::int64_t winner, const std::string& name, std::int64_t payout,
                   std::int64_t now) override
    {
        Query(m_c, "UPDATE lotto_draws SET closed = ?, winner = ?, winner_name = ?, payout = ? "
                   "WHERE id = ? AND closed IS NULL")(now)(winner)(name)(payout)(draw)
            .run();
        return sqlite3_changes(m_c.db()) == 1;
    }
    std::vector<Winner> winners(const std::string& coin, int limit) override
    {
        std::vector<Winner> out;
        Query q(m_c,
                "SELECT winner_name, payout, closed, id, seed FROM (SELECT id, winner_name, payout, closed, seed "
                "FROM lotto_draws WHERE coin = ? AND closed IS NOT NULL AND winner IS NOT NULL ORDER BY id DESC "
                "LIMIT ?) ORDER BY id");
        q(coin)(limit);
        while (q.next()) out.push_back(Winner{q.s(0), q.i(1), q.i(2), q.i(3), q.s(4)});
        return out;
    }

    std::optional<Counter> counter(const std::string& kind, const std::string& key) override
    {
        Query q(m_c, "SELECT count, first, last FROM counters WHERE kind = ? AND key = ?");
        q(kind)(key);
        if (!q.next()) return std::nullopt;
        return Counter{static_cast<int>(q.i(0)), q.i(1), q.i(2)};
    }
    void setCounter(const std::string& kind, const std::string& key, const Counter& c) override
    {
        Query(m_c, "INSERT INTO counters(kind, key, count, first, last) VALUES(?, ?, ?, ?, ?) "
                   "ON CONFLICT(kind, key) DO UPDATE SET count = excluded.count, first = excluded.first, "
                   "last = excluded.last")(kind)(key)(static_cast<std::int64_t>(c.count))(c.first)(c.last)
            .run();
    }
    void dropCounter(const std::string& kind, const std::string& key) override
    {
        Query(m_c, "DELETE FROM counters WHERE kind = ? AND key = ?")(kind)(key).run();
    }

    std::optional<OnceEntry> onceEntry(const std::string& key) override
    {
        Query q(m_c, "SELECT owner, at, done, status, json, body, login_key, proof FROM once_requests WHERE key = ?");
        q(key);
        if (!q.next()) return std::nullopt;
        return OnceEntry{q.s(0), q.i(1), q.i(2) != 0, static_cast<int>(q.i(3)), q.i(4) != 0, q.s(5), q.s(6), q.s(7)};
    }
    void putOnceEntry(const std::string& key, const OnceEntry& e) override
    {
        Query(m_c, "INSERT INTO once_requests(key, owner, at, done, status, json, body, login_key, proof) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?) "
                   "ON CONFLICT(key) DO UPDATE SET owner = excluded.owner, at = excluded.at, done = excluded.done, "
                   "status = excluded.status, json = excluded.json, body = excluded.body, "
                   "login_key = excluded.login_key, proof = excluded.proof")(key)(e.owner)(e.at)(
            static_cast<std::int64_t>(e.done))(static_cast<std::int64_t>(e.status))(static_cast<std::int64_t>(e.json))(
            e.body)(e.loginKey)(e.proof)
            .run();
    }
    void instanceAlive(const std::string& instance, std::int64_t seen) override
    {
        Query(m_c, "INSERT INTO instances(id, seen) VALUES(?, ?) ON CONFLICT(id) DO UPDATE SET seen = excluded.seen")(
            instance)(seen)
            .run();
    }
    std::optional<std::int64_t> instanceSeen(const std::string& instance) override
    {
        Query q(m_c, "SELECT seen FROM instances WHERE id = ?");
        q(instance);
        if (!q.next()) return std::nullopt;
        return q.i(0);
    }
    void dropInstance(const std::string& instance) override
    {
        Query(m_c, "DELETE FROM instances WHERE id = ?")(instance).run();
    }
    void dropOnceEntry(const std::string& key, const std::string& owner) override
    {
        Query(m_c, "DELETE FROM once_requests WHERE key = ? AND owner = ?")(key)(owner).run();
    }

    std::string secret(const std::string& name, const std::string& fresh) override
    {
        Query(m_c, "INSERT INTO secrets(name, value) VALUES(?, ?) ON CONFLICT(name) DO NOTHING")(name)(fresh).run();
        Query q(m_c, "SELECT value FROM secrets WHERE name = ?");
        q(name);
        if (!q.next()) throw SqliteError("secret " + name + " missing");
        return q.s(0);
    }
    void pruneExpired(std::int64_t, std::int64_t onceBefore) override
    {
        Query(m_c, "DELETE FROM once_requests WHERE at < ?")(onceBefore).run();
        // Instances gone for an hour (killed, never stopped) leave no row behind.
        Query(m_c, "DELETE FROM instances WHERE seen < CAST(strftime('%s','now') AS INTEGER) - 3600").run();
    }
    void pruneAccountState(std::int64_t countersBefore, std::int64_t now) override
    {
        Query(m_c, "DELETE FROM counters WHERE last < ?")(countersBefore).run();
        Query(m_c, "DELETE FROM reset_codes WHERE expires <= ? OR used != 0")(now).run();
        Query(m_c, "DELETE FROM reset_outbox WHERE expires <= ?")(now).run();
    }

    VerifyReport verify() override
    {
        VerifyReport r;
        auto add = [&](const char* sql, const std::string& what) {
            Query q(m_c, sql);
            while (q.next())
                r.problems.push_back(what + ": account " + std::to_string(q.i(0)) + " " + q.s(1) + " bucket " +
                                     std::to_string(q.i(2)) + " holds " + std::to_string(q.i(3)) + ", expected " +
                                     std::to_string(q.i(4)));
        };
        // Before any sum: a REAL (what an overflow of SQLite's + makes) would pass the sums below on rounding.
        {
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
            if (!r.problems.empty()) return r;
        }
        add("SELECT b.account_id, b.coin, b.bucket, b.amount, COALESCE(s.total, 0) FROM balances b LEFT JOIN "
            "(SELECT account_id, coin, bucket, SUM(delta) AS total FROM ledger GROUP BY account_id, coin, bucket) s "
            "ON s.account_id = b.account_id AND s.coin = b.coin AND s.bucket = b.bucket "
            "WHERE b.amount != COALESCE(s.total, 0)",
            "balance differs from its ledger");
        add("SELECT s.account_id, s.coin, s.bucket, 0, s.total FROM "
            "(SELECT account_id, coin, bucket, SUM(delta) AS total FROM ledger GROUP BY account_id, coin, bucket) s "
            "LEFT JOIN balances b ON s.account_id = b.account_id AND s.coin = b.coin AND s.bucket = b.bucket "
            "WHERE b.account_id IS NULL",
            "ledger entries without a balance");
        add("SELECT account_id, coin, bucket, amount, 0 FROM balances WHERE amount < 0 AND account_id != 1",
            "negative balance");
        add("SELECT txn, coin, 0, SUM(delta), 0 FROM ledger GROUP BY txn, coin HAVING SUM(delta) != 0",
            "movement does not sum to zero (txn, coin)");
        add("SELECT b.account_id, b.coin, 1, b.amount, COALESCE(i.total, 0) FROM balances b LEFT JOIN "
            "(SELECT account_id, coin, SUM(principal) AS total FROM investments WHERE closed = 0 GROUP BY account_id, "
            "coin) i "
            "ON i.account_id = b.account_id AND i.coin = b.coin WHERE b.bucket = 1 AND b.amount != COALESCE(i.total, "
            "0)",
            "invested balance differs from the open investments");
        add("SELECT 3, d.coin, 0, COALESCE(b.amount, 0), SUM(s.amount) FROM lotto_draws d "
            "JOIN lotto_stakes s ON s.draw_id = d.id LEFT JOIN balances b ON b.account_id = 3 AND b.coin = d.coin "
            "AND b.bucket = 0 WHERE d.closed IS NULL GROUP BY d.coin HAVING COALESCE(b.amount, 0) != SUM(s.amount)",
            "lottery pot differs from the stakes of the open draw");
        add(HistoryVerifySql, "history differs from the wallet");
        {
            Query q(m_c, "SELECT (SELECT COUNT(*) FROM balances), (SELECT COUNT(*) FROM ledger)");
            if (q.next()) {
                r.balances = q.i(0);
                r.entries = q.i(1);
            }
        }
        return r;
    }

private:
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

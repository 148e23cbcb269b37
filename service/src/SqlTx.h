#pragma once
// The storage operations both engines run with the same statements, written once. An engine supplies Db: one
// call that runs a statement with its parameters ($1, $2 ... in the order they first appear, so SQLite can bind
// them by position) and returns its rows as a cursor (next(), i(column), s(column)). The engine's own class
// derives from SqlTx and keeps what its dialect does differently (the money arithmetic, the draw's stakes order,
// the refresh in one statement), its connections, transactions and retries.
#include "HistorySql.h"
#include "Store.h"

#include <ctime>

namespace sql {

inline constexpr const char* AccountByKey =
    "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer, 0), refcol, last_faucet, last_accrual, "
    "twofa FROM accounts WHERE login_key = $1";
inline constexpr const char* AccountById =
    "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer, 0), refcol, last_faucet, last_accrual, "
    "twofa FROM accounts WHERE id = $1";
inline constexpr const char* AccountByRefcode =
    "SELECT id, login, login_key, password_hash, refcode, COALESCE(referrer, 0), refcol, last_faucet, last_accrual, "
    "twofa FROM accounts WHERE refcode = $1 AND id > 4";
inline constexpr const char* InsertAccount =
    "INSERT INTO accounts(login, login_key, password_hash, refcode, referrer, created) "
    "VALUES($1, $2, $3, $4, NULLIF(CAST($5 AS BIGINT), 0), $6) ON CONFLICT DO NOTHING RETURNING id";
inline constexpr const char* SetPasswordHash = "UPDATE accounts SET password_hash = $1 WHERE id = $2";
inline constexpr const char* AddReferral = "UPDATE accounts SET refcol = refcol + 1 WHERE id = $1";
inline constexpr const char* SetLastFaucet = "UPDATE accounts SET last_faucet = $1 WHERE id = $2";
inline constexpr const char* SetLastAccrual = "UPDATE accounts SET last_accrual = $1 WHERE id = $2";

inline constexpr const char* InsertTxn = "INSERT INTO txns(kind, at) VALUES($1, $2) RETURNING id";
inline constexpr const char* InsertLedger =
    "INSERT INTO ledger(txn, account_id, coin, bucket, delta) VALUES($1, $2, $3, $4, $5)";
inline constexpr const char* Balance =
    "SELECT amount FROM balances WHERE account_id = $1 AND coin = $2 AND bucket = $3";
inline constexpr const char* Balances = "SELECT coin, bucket, amount FROM balances WHERE account_id = $1";
inline constexpr const char* Stats = "SELECT coin, dep_val, earned_inv, earned_ref FROM stats WHERE account_id = $1";

inline constexpr const char* OpenInvestments =
    "SELECT id, account_id, coin, principal, rental_code, fee_percent, apr, started, ends, paid FROM investments "
    "WHERE closed = 0 AND account_id = $1 ORDER BY id";
inline constexpr const char* InsertInvestment =
    "INSERT INTO investments(account_id, coin, principal, rental_code, fee_percent, apr, started, ends) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8)";
inline constexpr const char* SetInvestmentPaid =
    "UPDATE investments SET paid = $1, closed = $2 WHERE id = $3 AND paid = $4 AND closed = 0 RETURNING id";
inline constexpr const char* Rentals =
    "SELECT id, account_id, coin, principal, rental_code, fee_percent, apr, started, ends, paid, closed "
    "FROM investments WHERE account_id = $1 ORDER BY id DESC";

inline constexpr const char* DepositAddress =
    "SELECT address FROM deposit_addresses WHERE account_id = $1 AND coin_network = $2";
inline constexpr const char* InsertDepositAddress =
    "INSERT INTO deposit_addresses(account_id, coin_network, address) VALUES($1, $2, $3) ON CONFLICT DO NOTHING "
    "RETURNING account_id";

inline constexpr const char* InsertWithdrawal =
    "INSERT INTO withdrawals(login, coin, network, address, amount, fee, net, created) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id";
inline constexpr const char* Withdrawal =
    "SELECT id, login, coin, network, address, amount, fee, net, created, status FROM withdrawals WHERE id = $1";
inline constexpr const char* PendingWithdrawals =
    "SELECT id, login, coin, network, address, amount, fee, net, created FROM withdrawals "
    "WHERE status = 'pending' ORDER BY id";
inline constexpr const char* SettleWithdrawal =
    "UPDATE withdrawals SET status = $1, detail = $2, settled = $3 WHERE id = $4 AND status = 'pending' RETURNING id";
inline constexpr const char* SettleWithdrawalHistory =
    "UPDATE history SET status = $1, detail = $2 WHERE ref = $3 AND kind = 'withdraw' AND amount < 0";

inline constexpr const char* AddHistory =
    "INSERT INTO history(account_id, coin, kind, at, amount, fee, status, detail, ref) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id";
inline constexpr const char* HistoryPage = "SELECT id, coin, kind, at, amount, fee, status, detail, ref FROM history "
                                           "WHERE account_id = $1 AND id < $2 ORDER BY id DESC LIMIT $3";
inline constexpr const char* HistoryPageOfCoin =
    "SELECT id, coin, kind, at, amount, fee, status, detail, ref FROM history "
    "WHERE account_id = $1 AND coin = $2 AND id < $3 ORDER BY id DESC LIMIT $4";

inline constexpr const char* InsertResetCode =
    "INSERT INTO reset_codes(account_id, code_hash, expires) VALUES($1, $2, $3)";
inline constexpr const char* ResetCode =
    "SELECT id, code_hash, attempts, expires FROM reset_codes WHERE account_id = $1 AND used = 0 AND expires > $2 "
    "ORDER BY id DESC LIMIT 1";
inline constexpr const char* CountResetCodeAttempt = "UPDATE reset_codes SET attempts = attempts + 1 WHERE id = $1";
inline constexpr const char* RetireResetCodes = "DELETE FROM reset_codes WHERE account_id = $1";
inline constexpr const char* RetireResetMails = "DELETE FROM reset_outbox WHERE account_id = $1";
inline constexpr const char* InsertResetMail =
    "INSERT INTO reset_outbox(login, code, created, expires, account_id) VALUES($1, $2, $3, $4, $5)";
inline constexpr const char* ResetMails =
    "SELECT id, login, code, created, expires, account_id FROM reset_outbox ORDER BY id";
inline constexpr const char* DropResetMail = "DELETE FROM reset_outbox WHERE id = $1";

inline constexpr const char* TwoFactor = "SELECT sealed, pending, last_step FROM twofa WHERE account_id = $1";
inline constexpr const char* SetTwoFactor =
    "INSERT INTO twofa(account_id, sealed, pending, last_step) VALUES($1, $2, $3, $4) "
    "ON CONFLICT(account_id) DO UPDATE SET sealed = excluded.sealed, pending = excluded.pending, "
    "last_step = excluded.last_step";
inline constexpr const char* SetTwoFactorFlag = "UPDATE accounts SET twofa = $1 WHERE id = $2";
inline constexpr const char* TakeTwoFactorStep =
    "UPDATE twofa SET last_step = $1 WHERE account_id = $2 AND last_step < $1 RETURNING account_id";

inline constexpr const char* OpenDraw =
    "SELECT id, coin, opened, seed FROM lotto_draws WHERE coin = $1 AND closed IS NULL ORDER BY id LIMIT 1";
inline constexpr const char* OpenDraws =
    "SELECT id, coin, opened, seed FROM lotto_draws WHERE closed IS NULL ORDER BY id";
inline constexpr const char* CreateDraw = "INSERT INTO lotto_draws(coin, opened, seed) VALUES($1, $2, $3) RETURNING id";
inline constexpr const char* AddStake =
    "INSERT INTO lotto_stakes(draw_id, account_id, nickname, amount, at) VALUES($1, $2, $3, $4, $5)";
// A draw without players closes with no winner (NULL), so it never shows in the winners file.
inline constexpr const char* CloseDraw =
    "UPDATE lotto_draws SET closed = $1, winner = NULLIF(CAST($2 AS BIGINT), 0), winner_name = $3, payout = $4 "
    "WHERE id = $5 AND closed IS NULL RETURNING id";
inline constexpr const char* Winners =
    "SELECT winner_name, payout, closed, id, seed FROM (SELECT id, winner_name, payout, closed, seed "
    "FROM lotto_draws WHERE coin = $1 AND closed IS NOT NULL AND winner IS NOT NULL ORDER BY id DESC LIMIT $2) w "
    "ORDER BY id";

inline constexpr const char* Counter = "SELECT count, first, last FROM counters WHERE kind = $1 AND key = $2";
inline constexpr const char* SetCounter =
    "INSERT INTO counters(kind, key, count, first, last) VALUES($1, $2, $3, $4, $5) "
    "ON CONFLICT(kind, key) DO UPDATE SET count = excluded.count, first = excluded.first, last = excluded.last";
inline constexpr const char* DropCounter = "DELETE FROM counters WHERE kind = $1 AND key = $2";

inline constexpr const char* OnceEntry =
    "SELECT owner, at, done, status, json, body, login_key, proof FROM once_requests WHERE key = $1";
inline constexpr const char* PutOnceEntry =
    "INSERT INTO once_requests(key, owner, at, done, status, json, body, login_key, proof) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) "
    "ON CONFLICT(key) DO UPDATE SET owner = excluded.owner, at = excluded.at, done = excluded.done, "
    "status = excluded.status, json = excluded.json, body = excluded.body, login_key = excluded.login_key, "
    "proof = excluded.proof";
inline constexpr const char* DropOnceEntry = "DELETE FROM once_requests WHERE key = $1 AND owner = $2";
inline constexpr const char* InstanceAlive =
    "INSERT INTO instances(id, seen) VALUES($1, $2) ON CONFLICT(id) DO UPDATE SET seen = excluded.seen";
inline constexpr const char* InstanceSeen = "SELECT seen FROM instances WHERE id = $1";
inline constexpr const char* DropInstance = "DELETE FROM instances WHERE id = $1";

inline constexpr const char* InsertSecret =
    "INSERT INTO secrets(name, value) VALUES($1, $2) ON CONFLICT(name) DO NOTHING";
inline constexpr const char* Secret = "SELECT value FROM secrets WHERE name = $1";
inline constexpr const char* PruneOnce = "DELETE FROM once_requests WHERE at < $1";
inline constexpr const char* PruneInstances = "DELETE FROM instances WHERE seen < $1";
inline constexpr const char* PruneCounters = "DELETE FROM counters WHERE last < $1";
inline constexpr const char* PruneResetCodes = "DELETE FROM reset_codes WHERE expires <= $1 OR used != 0";
inline constexpr const char* PruneResetMails = "DELETE FROM reset_outbox WHERE expires <= $1";

// verify: each query lists account, coin, bucket, what is held and what was expected.
inline constexpr const char* VerifyBalances =
    "SELECT b.account_id, b.coin, b.bucket, b.amount, COALESCE(s.total, 0) FROM balances b LEFT JOIN "
    "(SELECT account_id, coin, bucket, SUM(delta) AS total FROM ledger GROUP BY account_id, coin, bucket) s "
    "ON s.account_id = b.account_id AND s.coin = b.coin AND s.bucket = b.bucket "
    "WHERE b.amount != COALESCE(s.total, 0)";
inline constexpr const char* VerifyLedgerWithoutBalance =
    "SELECT s.account_id, s.coin, s.bucket, 0, s.total FROM "
    "(SELECT account_id, coin, bucket, SUM(delta) AS total FROM ledger GROUP BY account_id, coin, bucket) s "
    "LEFT JOIN balances b ON s.account_id = b.account_id AND s.coin = b.coin AND s.bucket = b.bucket "
    "WHERE b.account_id IS NULL";
inline constexpr const char* VerifyNegative =
    "SELECT account_id, coin, bucket, amount, 0 FROM balances WHERE amount < 0 AND account_id != 1";
inline constexpr const char* VerifyMovements =
    "SELECT txn, coin, 0, SUM(delta), 0 FROM ledger GROUP BY txn, coin HAVING SUM(delta) != 0";
inline constexpr const char* VerifyInvested =
    "SELECT b.account_id, b.coin, 1, b.amount, COALESCE(i.total, 0) FROM balances b LEFT JOIN "
    "(SELECT account_id, coin, SUM(principal) AS total FROM investments WHERE closed = 0 "
    "GROUP BY account_id, coin) i ON i.account_id = b.account_id AND i.coin = b.coin "
    "WHERE b.bucket = 1 AND b.amount != COALESCE(i.total, 0)";
inline constexpr const char* VerifyPots =
    "SELECT 3, d.coin, 0, COALESCE(MIN(b.amount), 0), SUM(s.amount) FROM lotto_draws d "
    "JOIN lotto_stakes s ON s.draw_id = d.id LEFT JOIN balances b ON b.account_id = 3 AND b.coin = d.coin "
    "AND b.bucket = 0 WHERE d.closed IS NULL GROUP BY d.coin HAVING COALESCE(MIN(b.amount), 0) != SUM(s.amount)";
inline constexpr const char* VerifyCounts = "SELECT (SELECT COUNT(*) FROM balances), (SELECT COUNT(*) FROM ledger)";

} // namespace sql

template <class Db>
class SqlTx : public StoreTx {
public:
    explicit SqlTx(Db db) : m_db(std::move(db)) {}

    std::optional<Account> accountByKey(const std::string& key) override { return account(sql::AccountByKey, key); }
    std::optional<Account> accountById(std::int64_t id) override { return account(sql::AccountById, id); }
    std::optional<Account> accountByRefcode(const std::string& code) override
    {
        return account(sql::AccountByRefcode, code);
    }
    std::optional<std::int64_t> insertAccount(const Account& a, std::int64_t now) override
    {
        return id(m_db.rows(sql::InsertAccount, a.login, a.loginKey, a.passwordHash, a.refcode, a.referrer, now));
    }
    void setPasswordHash(std::int64_t account, const std::string& hash) override
    {
        run(sql::SetPasswordHash, hash, account);
    }
    void addReferral(std::int64_t account) override { run(sql::AddReferral, account); }
    void setLastFaucet(std::int64_t account, std::int64_t at) override { run(sql::SetLastFaucet, at, account); }
    void setLastAccrual(std::int64_t account, std::int64_t at) override { run(sql::SetLastAccrual, at, account); }

    std::int64_t balance(std::int64_t account, const std::string& coin, Bucket bucket) override
    {
        auto r = m_db.rows(sql::Balance, account, coin, static_cast<std::int64_t>(bucket));
        return r.next() ? r.i(0) : 0;
    }
    std::map<std::string, CoinFigures> figures(std::int64_t account) override
    {
        std::map<std::string, CoinFigures> out;
        {
            auto r = m_db.rows(sql::Balances, account);
            while (r.next()) (r.i(1) == 0 ? out[r.s(0)].wallet : out[r.s(0)].invest) = r.i(2);
        }
        auto r = m_db.rows(sql::Stats, account);
        while (r.next()) {
            auto& f = out[r.s(0)];
            f.depVal = r.i(1);
            f.earnedInv = r.i(2);
            f.earnedRef = r.i(3);
        }
        return out;
    }

    std::vector<Investment> openInvestments(std::int64_t account) override
    {
        std::vector<Investment> out;
        auto r = m_db.rows(sql::OpenInvestments, account);
        while (r.next()) out.push_back(ReadInvestment(r));
        return out;
    }
    std::vector<std::int64_t> accountsWithInvestmentsDue(std::int64_t paidBefore, std::int64_t now) override
    {
        std::vector<std::int64_t> out;
        auto r = m_db.rows(AccountsDueSql, paidBefore, now);
        while (r.next()) out.push_back(r.i(0));
        return out;
    }
    void insertInvestment(const Investment& v) override
    {
        run(sql::InsertInvestment, v.account, v.coin, v.principal, static_cast<std::int64_t>(v.rentalCode),
            static_cast<std::int64_t>(v.feePercent), static_cast<std::int64_t>(v.apr), v.started, v.ends);
    }
    bool setInvestmentPaid(std::int64_t id, std::int64_t paidBefore, std::int64_t paid, bool closed) override
    {
        return m_db.rows(sql::SetInvestmentPaid, paid, static_cast<std::int64_t>(closed ? 1 : 0), id, paidBefore)
            .next();
    }
    std::vector<RentalState> rentals(std::int64_t account) override
    {
        std::vector<RentalState> out;
        auto r = m_db.rows(sql::Rentals, account);
        while (r.next()) out.push_back(RentalState{ReadInvestment(r), r.i(10) != 0});
        return out;
    }

    std::optional<std::string> depositAddress(std::int64_t account, const std::string& cn) override
    {
        auto r = m_db.rows(sql::DepositAddress, account, cn);
        if (!r.next()) return std::nullopt;
        return r.s(0);
    }
    bool insertDepositAddress(std::int64_t account, const std::string& cn, const std::string& address) override
    {
        return m_db.rows(sql::InsertDepositAddress, account, cn, address).next();
    }

    std::int64_t insertWithdrawal(const Withdrawal& w) override
    {
        return *id(
            m_db.rows(sql::InsertWithdrawal, w.login, w.coin, w.network, w.address, w.amount, w.fee, w.net, w.created));
    }
    std::vector<Withdrawal> withdrawals() override
    {
        std::vector<Withdrawal> out;
        auto r = m_db.rows(sql::PendingWithdrawals);
        while (r.next()) out.push_back(ReadWithdrawal(r));
        return out;
    }
    std::optional<Withdrawal> withdrawal(std::int64_t id, std::string* status) override
    {
        auto r = m_db.rows(sql::Withdrawal, id);
        if (!r.next()) return std::nullopt;
        if (status) *status = r.s(9);
        return ReadWithdrawal(r);
    }
    bool settleWithdrawal(std::int64_t id, const std::string& status, const std::string& detail,
                          std::int64_t at) override
    {
        if (!m_db.rows(sql::SettleWithdrawal, status, detail, at, id).next()) return false;
        run(sql::SettleWithdrawalHistory, status, detail, id);
        return true;
    }

    std::int64_t addHistory(const HistoryItem& h) override
    {
        return *id(
            m_db.rows(sql::AddHistory, h.account, h.coin, h.kind, h.at, h.amount, h.fee, h.status, h.detail, h.ref));
    }
    std::vector<HistoryItem> history(std::int64_t account, const std::string& coin, std::int64_t before,
                                     int limit) override
    {
        std::vector<HistoryItem> out;
        auto read = [&](auto&& r) {
            while (r.next())
                out.push_back(
                    HistoryItem{r.i(0), account, r.s(1), r.s(2), r.i(3), r.i(4), r.i(5), r.s(6), r.s(7), r.i(8)});
        };
        const auto most = static_cast<std::int64_t>(limit);
        if (coin.empty())
            read(m_db.rows(sql::HistoryPage, account, before, most));
        else
            read(m_db.rows(sql::HistoryPageOfCoin, account, coin, before, most));
        return out;
    }

    void insertResetCode(std::int64_t account, const std::string& codeHash, std::int64_t expires) override
    {
        run(sql::InsertResetCode, account, codeHash, expires);
    }
    std::optional<ResetCode> resetCode(std::int64_t account, std::int64_t now) override
    {
        auto r = m_db.rows(sql::ResetCode, account, now);
        if (!r.next()) return std::nullopt;
        return ResetCode{r.i(0), r.s(1), static_cast<int>(r.i(2)), r.i(3)};
    }
    void countResetCodeAttempt(std::int64_t code) override { run(sql::CountResetCodeAttempt, code); }
    void retireResetCodes(std::int64_t account) override
    {
        run(sql::RetireResetCodes, account);
        run(sql::RetireResetMails, account);
    }
    void insertResetMail(const ResetMail& m) override
    {
        run(sql::InsertResetMail, m.login, m.code, m.created, m.expires, m.account);
    }
    std::vector<ResetMail> resetMails() override
    {
        std::vector<ResetMail> out;
        auto r = m_db.rows(sql::ResetMails);
        while (r.next()) out.push_back(ResetMail{r.i(0), r.s(1), r.s(2), r.i(3), r.i(4), r.i(5)});
        return out;
    }
    void dropResetMails(const std::vector<std::int64_t>& ids) override
    {
        for (std::int64_t id : ids) run(sql::DropResetMail, id);
    }

    std::optional<::TwoFactor> twoFactor(std::int64_t account) override
    {
        auto r = m_db.rows(sql::TwoFactor, account);
        if (!r.next()) return std::nullopt;
        return ::TwoFactor{r.s(0), r.s(1), r.i(2)};
    }
    void setTwoFactor(std::int64_t account, const ::TwoFactor& t) override
    {
        run(sql::SetTwoFactor, account, t.sealed, t.pending, t.lastStep);
        run(sql::SetTwoFactorFlag, static_cast<std::int64_t>(!t.sealed.empty()), account);
    }
    bool takeTwoFactorStep(std::int64_t account, std::int64_t step) override
    {
        return m_db.rows(sql::TakeTwoFactorStep, step, account).next();
    }

    std::optional<Draw> openDraw(const std::string& coin) override
    {
        auto r = m_db.rows(sql::OpenDraw, coin);
        if (!r.next()) return std::nullopt;
        return Draw{r.i(0), r.s(1), r.i(2), r.s(3)};
    }
    std::vector<Draw> openDraws() override
    {
        std::vector<Draw> out;
        auto r = m_db.rows(sql::OpenDraws);
        while (r.next()) out.push_back(Draw{r.i(0), r.s(1), r.i(2), r.s(3)});
        return out;
    }
    std::int64_t createDraw(const std::string& coin, std::int64_t now, const std::string& seed) override
    {
        return *id(m_db.rows(sql::CreateDraw, coin, now, seed));
    }
    void addStake(std::int64_t draw, const Stake& s, std::int64_t now) override
    {
        run(sql::AddStake, draw, s.account, s.nickname, s.amount, now);
    }
    bool closeDraw(std::int64_t draw, std::int64_t winner, const std::string& name, std::int64_t payout,
                   std::int64_t now) override
    {
        return m_db.rows(sql::CloseDraw, now, winner, name, payout, draw).next();
    }
    std::vector<Winner> winners(const std::string& coin, int limit) override
    {
        std::vector<Winner> out;
        auto r = m_db.rows(sql::Winners, coin, static_cast<std::int64_t>(limit));
        while (r.next()) out.push_back(Winner{r.s(0), r.i(1), r.i(2), r.i(3), r.s(4)});
        return out;
    }

    std::optional<::Counter> counter(const std::string& kind, const std::string& key) override
    {
        auto r = m_db.rows(sql::Counter, kind, key);
        if (!r.next()) return std::nullopt;
        return ::Counter{static_cast<int>(r.i(0)), r.i(1), r.i(2)};
    }
    void setCounter(const std::string& kind, const std::string& key, const ::Counter& c) override
    {
        run(sql::SetCounter, kind, key, static_cast<std::int64_t>(c.count), c.first, c.last);
    }
    void dropCounter(const std::string& kind, const std::string& key) override { run(sql::DropCounter, kind, key); }

    std::optional<::OnceEntry> onceEntry(const std::string& key) override
    {
        auto r = m_db.rows(sql::OnceEntry, key);
        if (!r.next()) return std::nullopt;
        return ::OnceEntry{r.s(0), r.i(1), r.i(2) != 0, static_cast<int>(r.i(3)), r.i(4) != 0, r.s(5), r.s(6), r.s(7)};
    }
    void putOnceEntry(const std::string& key, const ::OnceEntry& e) override
    {
        run(sql::PutOnceEntry, key, e.owner, e.at, static_cast<std::int64_t>(e.done),
            static_cast<std::int64_t>(e.status), static_cast<std::int64_t>(e.json), e.body, e.loginKey, e.proof);
    }
    void dropOnceEntry(const std::string& key, const std::string& owner) override
    {
        run(sql::DropOnceEntry, key, owner);
    }
    void instanceAlive(const std::string& instance, std::int64_t seen) override
    {
        run(sql::InstanceAlive, instance, seen);
    }
    std::optional<std::int64_t> instanceSeen(const std::string& instance) override
    {
        auto r = m_db.rows(sql::InstanceSeen, instance);
        if (!r.next()) return std::nullopt;
        return r.i(0);
    }
    void dropInstance(const std::string& instance) override { run(sql::DropInstance, instance); }

    std::string secret(const std::string& name, const std::string& fresh) override
    {
        run(sql::InsertSecret, name, fresh);
        auto r = m_db.rows(sql::Secret, name);
        if (!r.next()) throw std::runtime_error("secret " + name + " missing");
        return r.s(0);
    }
    void pruneExpired(std::int64_t, std::int64_t onceBefore) override
    {
        run(sql::PruneOnce, onceBefore);
        // Instances gone for an hour (killed, never stopped) leave no row behind; seen is the machine's clock.
        run(sql::PruneInstances, static_cast<std::int64_t>(std::time(nullptr)) - 3600);
    }
    void pruneAccountState(std::int64_t countersBefore, std::int64_t now) override
    {
        run(sql::PruneCounters, countersBefore);
        run(sql::PruneResetCodes, now);
        run(sql::PruneResetMails, now);
    }

    VerifyReport verify() override
    {
        VerifyReport report;
        if (!amountsAreIntegers(report)) return report;
        const auto add = [&](const char* statement, const std::string& what) {
            auto r = m_db.rows(statement);
            while (r.next())
                report.problems.push_back(what + ": account " + r.s(0) + " " + r.s(1) + " bucket " + r.s(2) +
                                          " holds " + r.s(3) + ", expected " + r.s(4));
        };
        add(sql::VerifyBalances, "balance differs from its ledger");
        add(sql::VerifyLedgerWithoutBalance, "ledger entries without a balance");
        add(sql::VerifyNegative, "negative balance");
        add(sql::VerifyMovements, "movement does not sum to zero (txn, coin)");
        add(sql::VerifyInvested, "invested balance differs from the open investments");
        add(sql::VerifyPots, "lottery pot differs from the stakes of the open draw");
        add(HistoryVerifySql, "history differs from the wallet");
        auto counts = m_db.rows(sql::VerifyCounts);
        if (counts.next()) {
            report.balances = counts.i(0);
            report.entries = counts.i(1);
        }
        return report;
    }

protected:
    // Before any sum: an engine whose tables can hold a non-integer amount reports it here (false: stop).
    virtual bool amountsAreIntegers(VerifyReport&) { return true; }

    template <typename... A>
    void run(const char* statement, const A&... args)
    {
        auto r = m_db.rows(statement, args...);
        while (r.next()) {
        }
    }
    // The id a RETURNING clause gave, none when the statement changed nothing.
    template <typename Rows>
    static std::optional<std::int64_t> id(Rows&& r)
    {
        if (!r.next()) return std::nullopt;
        return r.i(0);
    }
    template <typename Rows>
    static Investment ReadInvestment(Rows& r)
    {
        return Investment{r.i(0),
                          r.i(1),
                          r.s(2),
                          r.i(3),
                          static_cast<int>(r.i(4)),
                          static_cast<int>(r.i(5)),
                          static_cast<int>(r.i(6)),
                          r.i(7),
                          r.i(8),
                          r.i(9)};
    }
    template <typename Rows>
    static Withdrawal ReadWithdrawal(Rows& r)
    {
        return Withdrawal{r.i(0), r.s(1), r.s(2), r.s(3), r.s(4), r.i(5), r.i(6), r.i(7), r.i(8)};
    }
    template <typename Key>
    std::optional<Account> account(const char* statement, const Key& key)
    {
        auto r = m_db.rows(statement, key);
        if (!r.next()) return std::nullopt;
        return Account{r.i(0), r.s(1), r.s(2), r.s(3), r.s(4), r.i(5), r.i(6), r.i(7), r.i(8), r.i(9) != 0};
    }

    Db m_db;
};

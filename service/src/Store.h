#pragma once
// The one interface between the actions and a storage engine. Everything here
// is about accounts, money and draws; nothing about SQL. A second engine
// implements Store and StoreTx and the actions do not change.
#include "SchemaVersion.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

enum class Bucket : int { Wallet = 0, Invest = 1 };

// Accounts the service itself owns. The issuer stands for the world outside
// (deposits come from it) and is the only account allowed below zero.
namespace system_account {
inline constexpr std::int64_t Issuer = 1;
inline constexpr std::int64_t House = 2;   // fees, rewards, swap counterparty
inline constexpr std::int64_t Lottery = 3; // the pots of the open draws
inline constexpr std::int64_t Outbox = 4;  // withdrawals waiting to be sent
} // namespace system_account

struct Account {
    std::int64_t id = 0;
    std::string login;
    std::string loginKey; // ASCII lower case: one account per spelling
    std::string passwordHash;
    std::string refcode;
    std::int64_t referrer = 0; // 0: none
    std::int64_t refcol = 0;
    std::int64_t lastFaucet = 0;
    std::int64_t lastAccrual = 0; // earnings brought up to date at this time
    bool twofa = false;           // a second factor is on: money and password actions need a code
};

// The second factor's secrets of an account, sealed under the service's key. pending: made by a setup,
// not yet confirmed by a code; sealed: the one in force (empty while off). lastStep: the time step of the
// last code taken, so each code is accepted once.
struct TwoFactor {
    std::string sealed, pending;
    std::int64_t lastStep = 0;
};

struct Leg {
    std::int64_t account;
    std::string coin;
    Bucket bucket;
    std::int64_t delta;
};

struct CoinFigures {
    std::int64_t wallet = 0, invest = 0, depVal = 0, earnedInv = 0, earnedRef = 0;
};

struct Investment {
    std::int64_t id = 0, account = 0;
    std::string coin;
    std::int64_t principal = 0;
    int rentalCode = 0, feePercent = 0, apr = 0;
    std::int64_t started = 0, ends = 0, paid = 0;
};

struct Withdrawal {
    std::int64_t id = 0;
    std::string login, coin, network, address;
    std::int64_t amount = 0, fee = 0, net = 0, created = 0;
};

// A security code waiting to be delivered; the clear code lives only here, and
// only until delivery (reset_codes keeps a keyed hash).
struct ResetMail {
    std::int64_t id = 0;
    std::string login, code;
    std::int64_t created = 0, expires = 0;
    std::int64_t account = 0;
};

// The outstanding security code of an account (there is at most one).
struct ResetCode {
    std::int64_t id = 0;
    std::string codeHash;
    int attempts = 0; // wrong guesses so far
    std::int64_t expires = 0;
};

// One line of an account's history: what one movement did to its wallet in one coin. Earnings and referral
// shares credited minute by minute are one line per account, coin and UTC day (day set), updated in place.
struct HistoryItem {
    std::int64_t id = 0, account = 0;
    std::string coin, kind;
    std::int64_t at = 0;
    std::int64_t amount = 0; // signed: as it moved the wallet
    std::int64_t fee = 0;    // the service's fee on it
    std::string status = "done", detail;
    std::int64_t ref = 0; // the withdrawal or investment it belongs to, 0 for none
};

// An investment with whether it has ended.
struct RentalState {
    Investment inv;
    bool closed = false;
};

struct Stake {
    std::int64_t account = 0;
    std::string nickname;
    std::int64_t amount = 0;
};

struct Winner {
    std::string name;
    std::int64_t amount = 0;
    std::int64_t at = 0;
    std::int64_t draw = 0;
    std::string seed; // revealed with the winner; empty for draws opened before seeds were committed
};

struct Draw {
    std::int64_t id = 0;
    std::string coin;
    std::int64_t opened = 0;
    std::string seed; // the committed seed, 64 hex digits; secret until the draw
};

// A leg would take a balance below zero: the whole transaction is undone.
struct InsufficientFunds : std::runtime_error {
    std::int64_t account;
    explicit InsufficientFunds(std::int64_t a) : std::runtime_error("insufficient funds"), account(a) {}
};

// Events of one kind for one key (wrong passwords of a login from an address,
// reset requests, registrations from an address), counted in the database so
// every instance applies the same limit. count events since first, the latest at last.
struct Counter {
    int count = 0;
    std::int64_t first = 0, last = 0;
};

// A money request's claim and, once it has run, its answer: a repeat seen by
// any instance gets this answer instead of running again.
struct OnceEntry {
    std::string owner; // the attempt that claimed it: "<instance> <attempt>"
    std::int64_t at = 0;
    bool done = false;
    int status = 0; // while not done: WorkedStatus once the money work has committed
    bool json = false;
    std::string body;
    std::string loginKey; // whose answer it is: a repeat gets it only with the same login
    std::string proof;    // and the same password digest (a keyed hash of it)
    static constexpr int WorkedStatus = 202;
    // Stands for a request that must not run again: answered within keep seconds of now, or a claim (kept by
    // older builds) whose work committed.
    bool answers(std::int64_t now, std::int64_t keep) const
    {
        return (done && now - at <= keep) || (!done && status == WorkedStatus);
    }
};

// A money action's whole write: the repeat record checked first, the movement, its history lines, the
// investment or withdrawal it opens, and its answer recorded with it. An engine that pays a round trip per
// statement runs it as one call.
struct MoneyWrite {
    std::string kind;
    std::vector<Leg> legs;
    std::int64_t now = 0;
    std::vector<HistoryItem> lines; // in this order; ref WithdrawalRef: the new withdrawal's id
    std::optional<Investment> investment;
    std::optional<Withdrawal> withdrawal;
    // The repeat record; empty key: none. A request whose entry answers at onceNow within onceKeep gets that
    // entry and nothing is done; otherwise answer is recorded under the key with the work.
    std::string onceKey;
    std::int64_t onceNow = 0, onceKeep = 0;
    OnceEntry answer;
    static constexpr std::int64_t WithdrawalRef = -1;
};

// The database holds a schema this build does not know: it must not touch it.
struct SchemaTooNew : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Everything the account refresh needs, read together: the failures counted against the login from the
// client's address, the account, its open investments and its figures.
struct AccountView {
    std::optional<Counter> failures;
    std::optional<Account> account;
    std::vector<Investment> open;
    std::map<std::string, CoinFigures> figures;
};

// A history page with what the login check needs, read together (the refresh's reads and the page).
struct HistoryView {
    AccountView account;
    std::vector<HistoryItem> items;
};

struct VerifyReport {
    std::vector<std::string> problems;
    std::int64_t balances = 0, entries = 0;
    bool ok() const { return problems.empty(); }
};

class StoreTx {
public:
    virtual ~StoreTx() = default;

    virtual std::optional<Account> accountByKey(const std::string& loginKey) = 0;
    virtual std::optional<Account> accountById(std::int64_t id) = 0;
    virtual std::optional<Account> accountByRefcode(const std::string& refcode) = 0;
    // Empty optional when the login or the code is taken.
    virtual std::optional<std::int64_t> insertAccount(const Account& a, std::int64_t now) = 0;
    virtual void setPasswordHash(std::int64_t account, const std::string& hash) = 0;
    virtual void addReferral(std::int64_t account) = 0;
    virtual void setLastFaucet(std::int64_t account, std::int64_t at) = 0;
    virtual void setLastAccrual(std::int64_t account, std::int64_t at) = 0;

    // Money: every leg becomes a ledger entry and a balance change; the legs of
    // one call must sum to zero per coin.
    virtual void post(const std::string& kind, const std::vector<Leg>& legs, std::int64_t now) = 0;
    virtual std::int64_t balance(std::int64_t account, const std::string& coin, Bucket bucket) = 0;
    virtual std::map<std::string, CoinFigures> figures(std::int64_t account) = 0;
    // Counters shown to the user, next to the money they describe.
    virtual void addStats(std::int64_t account, const std::string& coin, std::int64_t depVal, std::int64_t earnedInv,
                          std::int64_t earnedRef) = 0;

    virtual std::vector<Investment> openInvestments(std::int64_t account) = 0;
    // Accounts with an open investment whose earnings were last brought up to date at paidBefore or earlier
    // (or after now: the clock went back), or that has ended by now.
    virtual std::vector<std::int64_t> accountsWithInvestmentsDue(std::int64_t paidBefore, std::int64_t now) = 0;
    virtual void insertInvestment(const Investment& inv) = 0;
    // Conditional on the investment being open with paidBefore paid: false when
    // someone else settled it first (the caller must then undo its work).
    virtual bool setInvestmentPaid(std::int64_t id, std::int64_t paidBefore, std::int64_t paid, bool closed) = 0;

    virtual std::optional<std::string> depositAddress(std::int64_t account, const std::string& coinNetwork) = 0;
    // False when the address is already someone's.
    virtual bool insertDepositAddress(std::int64_t account, const std::string& coinNetwork,
                                      const std::string& address) = 0;

    // The new withdrawal's id.
    virtual std::int64_t insertWithdrawal(const Withdrawal& w) = 0;
    virtual std::vector<Withdrawal> withdrawals() = 0;
    // Any withdrawal by id, with its status ("pending", "sent", "failed") in *status.
    virtual std::optional<Withdrawal> withdrawal(std::int64_t id, std::string* status) = 0;
    // Only a pending one: "sent" with the transaction id or "failed" with the reason as detail; its history
    // line shows the same. False when it was not pending (settled meanwhile).
    virtual bool settleWithdrawal(std::int64_t id, const std::string& status, const std::string& detail,
                                  std::int64_t at) = 0;

    // History: a line of its own (its id), or the amount added to the day's line of that kind.
    virtual std::int64_t addHistory(const HistoryItem& item) = 0;
    virtual void addDailyHistory(const HistoryItem& item, std::int64_t day) = 0;
    // Newest first, ids below before, at most limit; coin empty: every coin.
    virtual std::vector<HistoryItem> history(std::int64_t account, const std::string& coin, std::int64_t before,
                                             int limit) = 0;
    // Every investment of the account, open and ended, newest first.
    virtual std::vector<RentalState> rentals(std::int64_t account) = 0;

    virtual void insertResetCode(std::int64_t account, const std::string& codeHash, std::int64_t expires) = 0;
    // The account's unexpired code, if any.
    virtual std::optional<ResetCode> resetCode(std::int64_t account, std::int64_t now) = 0;
    virtual void countResetCodeAttempt(std::int64_t code) = 0;
    // Every code of the account goes, with its undelivered mail.
    virtual void retireResetCodes(std::int64_t account) = 0;
    virtual void insertResetMail(const ResetMail& m) = 0;
    virtual std::vector<ResetMail> resetMails() = 0;
    // Delivered: the clear codes are forgotten.
    virtual void dropResetMails(const std::vector<std::int64_t>& ids) = 0;

    virtual std::optional<TwoFactor> twoFactor(std::int64_t account) = 0;
    // Writes the row and the account's twofa flag (on while sealed is not empty).
    virtual void setTwoFactor(std::int64_t account, const TwoFactor& t) = 0;
    // Takes a code's step: false when this step or a later one was taken already (the code was used).
    virtual bool takeTwoFactorStep(std::int64_t account, std::int64_t step) = 0;

    virtual std::optional<Draw> openDraw(const std::string& coin) = 0;
    virtual std::vector<Draw> openDraws() = 0;
    virtual std::int64_t createDraw(const std::string& coin, std::int64_t now, const std::string& seed) = 0;
    virtual void addStake(std::int64_t draw, const Stake& s, std::int64_t now) = 0;
    // One entry per player, stakes summed.
    virtual std::vector<Stake> stakes(std::int64_t draw) = 0;
    // False when the draw was already closed (by another instance).
    virtual bool closeDraw(std::int64_t draw, std::int64_t winner, const std::string& name, std::int64_t payout,
                           std::int64_t now) = 0;
    virtual std::vector<Winner> winners(const std::string& coin, int limit) = 0;

    virtual std::optional<Counter> counter(const std::string& kind, const std::string& key) = 0;
    virtual void setCounter(const std::string& kind, const std::string& key, const Counter& c) = 0;
    virtual void dropCounter(const std::string& kind, const std::string& key) = 0;

    virtual std::optional<OnceEntry> onceEntry(const std::string& key) = 0;
    virtual void putOnceEntry(const std::string& key, const OnceEntry& e) = 0;
    // Only while the entry is still owner's.
    virtual void dropOnceEntry(const std::string& key, const std::string& owner) = 0;
    // A serving instance says it is alive (seen: machine-clock seconds); a claim of an instance not seen
    // for a few seconds is abandoned. A stopping instance drops its row.
    virtual void instanceAlive(const std::string& instance, std::int64_t seen) = 0;
    virtual std::optional<std::int64_t> instanceSeen(const std::string& instance) = 0;
    virtual void dropInstance(const std::string& instance) = 0;

    // The value stored under name; stores fresh first when there is none.
    virtual std::string secret(const std::string& name, const std::string& fresh) = 0;
    // Forgets login attempts last seen before attemptsBefore and request answers from before onceBefore.
    virtual void pruneExpired(std::int64_t attemptsBefore, std::int64_t onceBefore) = 0;
    // Forgets counters last seen before countersBefore, reset codes expired by now and their mails.
    virtual void pruneAccountState(std::int64_t countersBefore, std::int64_t now) = 0;

    virtual VerifyReport verify() = 0;

    // Runs a money action's write: the entry that answered it before (nothing done), or none when done.
    // Throws InsufficientFunds (or money::Overflow) when a leg is refused; the caller's transaction, or the
    // engine, undoes what was done.
    virtual std::optional<OnceEntry> apply(const MoneyWrite& w)
    {
        if (!w.onceKey.empty())
            if (auto e = onceEntry(w.onceKey); e && e->answers(w.onceNow, w.onceKeep)) return e;
        post(w.kind, w.legs, w.now);
        if (w.investment) insertInvestment(*w.investment);
        const std::int64_t withdrawal = w.withdrawal ? insertWithdrawal(*w.withdrawal) : 0;
        for (HistoryItem h : w.lines) {
            if (h.ref == MoneyWrite::WithdrawalRef) h.ref = withdrawal;
            addHistory(h);
        }
        if (!w.onceKey.empty()) putOnceEntry(w.onceKey, w.answer);
        return std::nullopt;
    }

    // The refresh's reads; an engine that pays a round trip per statement answers it with one.
    virtual AccountView accountView(const std::string& loginKey, const std::string& counterKind,
                                    const std::string& counterKey)
    {
        AccountView v;
        v.failures = counter(counterKind, counterKey);
        v.account = accountByKey(loginKey);
        if (!v.account) return v;
        v.open = openInvestments(v.account->id);
        v.figures = figures(v.account->id);
        return v;
    }
    // What the login check reads: the failures counted for the login from the address and the account (with its
    // open investments where the engine reads them in the same statement).
    virtual AccountView loginView(const std::string& loginKey, const std::string& counterKind,
                                  const std::string& counterKey)
    {
        AccountView v;
        v.failures = counter(counterKind, counterKey);
        v.account = accountByKey(loginKey);
        return v;
    }
    // The failures, the account and its open investments (no figures), and a page of its history (as history()).
    virtual HistoryView historyView(const std::string& loginKey, const std::string& counterKind,
                                    const std::string& counterKey, const std::string& coin, std::int64_t before,
                                    int limit)
    {
        HistoryView h;
        h.account.failures = counter(counterKind, counterKey);
        h.account.account = accountByKey(loginKey);
        if (!h.account.account) return h;
        h.account.open = openInvestments(h.account.account->id);
        h.items = history(h.account.account->id, coin, before, limit);
        return h;
    }
};

// Statements the two engines share word for word ($1, $2 ...: SQLite reads them as numbered parameters).
inline constexpr const char* AccountsDueSql =
    "SELECT DISTINCT i.account_id FROM investments i JOIN accounts a ON a.id = i.account_id "
    "WHERE i.closed = 0 AND (a.last_accrual <= $1 OR a.last_accrual > $2 OR i.ends <= $2)";

class GroupCommit;

class Store {
public:
    virtual ~Store() = default;
    // A consistent snapshot; may run beside writes.
    virtual void read(const std::function<void(StoreTx&)>& work) = 0;
    // A read of one statement, consistent by itself: needs no transaction around it.
    virtual void readOne(const std::function<void(StoreTx&)>& work) { read(work); }
    // All or nothing, isolated as if transactions ran one at a time. An
    // exception from work undoes it and passes through. Writes arriving
    // together may share one commit; each returns only after it. work may run more than
    // once (an engine retries a transaction that lost a race or a connection
    // before its commit), so it must set everything it hands out afresh.
    virtual void write(const std::function<void(StoreTx&)>& work) = 0;
    // The same for bookkeeping whose loss in a crash of the machine is harmless
    // (claims, failure counters): its commit need not wait for the disk.
    virtual void writeLight(const std::function<void(StoreTx&)>& work) = 0;
    // The schema version this database holds after the migrations ran.
    virtual int schemaVersion() = 0;
    // True when the database answers now (one short try, no waiting for it to come back).
    virtual bool ping() = 0;
    // True when a read never waits for anything but the local disk (no server, no lock held by a writer): it may
    // then run on the threads that serve connections.
    virtual bool readsWithoutWaiting() const { return false; }
    // The figures of the shared write transactions, when the engine has them.
    virtual const GroupCommit* groupCommit() const { return nullptr; }
};

// The embedded default: SQLite in WAL mode. synchronousFull: every commit
// reaches the disk before its answer. Runs the migrations; throws
// SchemaTooNew for a database made by a newer build.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path, bool synchronousFull);

// PostgreSQL through libpq: conninfo is a postgresql:// (or postgres://) URI.
// poolSize: connections kept open for reuse. synchronousFull false: commits
// do not wait for the server's disk (synchronous_commit off). Runs the
// migrations (under an advisory lock, so instances starting together do not race).
std::unique_ptr<Store> OpenPostgresStore(const std::string& conninfo, int poolSize, bool synchronousFull);

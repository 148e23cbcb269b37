#pragma once
// The one interface between the actions and a storage engine. Everything here
// is about accounts, money and draws; nothing about SQL. A second engine
// implements Store and StoreTx and the actions do not change.
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

struct ResetMail {
    std::int64_t id = 0;
    std::string login, code;
    std::int64_t created = 0, expires = 0;
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
};

struct Draw {
    std::int64_t id = 0;
    std::string coin;
    std::int64_t opened = 0;
};

// A leg would take a balance below zero: the whole transaction is undone.
struct InsufficientFunds : std::runtime_error {
    std::int64_t account;
    explicit InsufficientFunds(std::int64_t a) : std::runtime_error("insufficient funds"), account(a) {}
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

    // Money: every leg becomes a ledger entry and a balance change; the legs of
    // one call must sum to zero per coin.
    virtual void post(const std::string& kind, const std::vector<Leg>& legs, std::int64_t now) = 0;
    virtual std::int64_t balance(std::int64_t account, const std::string& coin, Bucket bucket) = 0;
    virtual std::map<std::string, CoinFigures> figures(std::int64_t account) = 0;
    // Counters shown to the user, next to the money they describe.
    virtual void addStats(std::int64_t account, const std::string& coin, std::int64_t depVal, std::int64_t earnedInv,
                          std::int64_t earnedRef) = 0;

    virtual std::vector<Investment> openInvestments(std::int64_t account) = 0;
    virtual std::vector<std::int64_t> accountsWithInvestmentsDue(std::int64_t paidBefore, std::int64_t now) = 0;
    virtual void insertInvestment(const Investment& inv) = 0;
    virtual void setInvestmentPaid(std::int64_t id, std::int64_t paid, bool closed) = 0;

    virtual std::optional<std::string> depositAddress(std::int64_t account, const std::string& coinNetwork) = 0;
    // False when the address is already someone's.
    virtual bool insertDepositAddress(std::int64_t account, const std::string& coinNetwork,
                                      const std::string& address) = 0;

    virtual void insertWithdrawal(const Withdrawal& w) = 0;
    virtual std::vector<Withdrawal> withdrawals() = 0;

    virtual void insertResetCode(std::int64_t account, const std::string& codeHash, std::int64_t expires) = 0;
    // Consumes a valid code of the account; false when none matches.
    virtual bool useResetCode(std::int64_t account, const std::string& codeHash, std::int64_t now) = 0;
    virtual void insertResetMail(const ResetMail& m) = 0;
    virtual std::vector<ResetMail> resetMails() = 0;

    virtual std::optional<Draw> openDraw(const std::string& coin) = 0;
    virtual std::vector<Draw> openDraws() = 0;
    virtual std::int64_t createDraw(const std::string& coin, std::int64_t now) = 0;
    virtual void addStake(std::int64_t draw, const Stake& s, std::int64_t now) = 0;
    // One entry per player, stakes summed.
    virtual std::vector<Stake> stakes(std::int64_t draw) = 0;
    virtual void closeDraw(std::int64_t draw, std::int64_t winner, const std::string& name, std::int64_t payout,
                           std::int64_t now) = 0;
    virtual std::vector<Winner> winners(const std::string& coin, int limit) = 0;

    virtual VerifyReport verify() = 0;
};

class Store {
public:
    virtual ~Store() = default;
    // A consistent snapshot; may run beside writes.
    virtual void read(const std::function<void(StoreTx&)>& work) = 0;
    // One transaction at a time; all or nothing. An exception undoes it and passes through.
    virtual void write(const std::function<void(StoreTx&)>& work) = 0;
};

// The embedded default: SQLite in WAL mode. synchronousFull: every commit
// reaches the disk before its answer.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path, bool synchronousFull);

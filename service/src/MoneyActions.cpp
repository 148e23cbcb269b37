// Money: investments and their earnings, withdrawals, swaps, the faucet, the operator's deposits.
#include "ServiceCommon.h"

using namespace service_detail;

bool Service::hasDeposited(std::int64_t account)
{
    bool deposited = false;
    m_store.read([&](StoreTx& tx) {
        deposited = false;
        for (const auto& [coin, f] : tx.figures(account)) deposited = deposited || f.depVal > 0;
    });
    return deposited;
}

bool Service::accrualDue(const Account& a, const std::vector<Investment>& open, std::int64_t now)
{
    if (open.empty()) return false;
    bool due = false;
    for (const Investment& inv : open) due = due || now >= inv.ends;
    return due || now - a.lastAccrual >= 60 || now < a.lastAccrual;
}

void Service::accrue(StoreTx& tx, std::int64_t account, std::int64_t now)
{
    std::optional<Account> owner;
    for (const Investment& inv : tx.openInvestments(account)) {
        const std::int64_t until = std::min(now, inv.ends);
        const std::int64_t target = money::Accrued(inv.principal, inv.apr, until - inv.started);
        const std::int64_t due = target - inv.paid;
        const bool ends = now >= inv.ends;
        std::vector<Leg> legs;
        if (due > 0) {
            legs.push_back({system_account::House, inv.coin, Bucket::Wallet, -due});
            legs.push_back({account, inv.coin, Bucket::Wallet, due});
            tx.addStats(account, inv.coin, 0, due, 0);
            history::AddToDay(tx, account, inv.coin, history::kind::Earning, due, now);
            if (!owner) owner = tx.accountById(account);
            if (owner && owner->referrer) {
                const std::int64_t share = money::PercentOf(due, m_config.referralInvestPercent);
                if (share > 0) {
                    legs.push_back({system_account::House, inv.coin, Bucket::Wallet, -share});
                    legs.push_back({owner->referrer, inv.coin, Bucket::Wallet, share});
                    tx.addStats(owner->referrer, inv.coin, 0, 0, share);
                    history::AddToDay(tx, owner->referrer, inv.coin, history::kind::Referral, share, now);
                }
            }
        }
        if (ends) {
            const std::int64_t fee = money::RentalFee(inv.principal, inv.feePercent);
            legs.push_back({account, inv.coin, Bucket::Invest, -inv.principal});
            legs.push_back({account, inv.coin, Bucket::Wallet, money::RentalReturn(inv.principal, inv.feePercent)});
            legs.push_back({system_account::House, inv.coin, Bucket::Wallet, fee});
            history::Add(tx, account, inv.coin, history::kind::Return,
                         money::RentalReturn(inv.principal, inv.feePercent), now, fee, {}, inv.id);
        }
        if (!legs.empty()) tx.post(ends ? "investment-end" : "earnings", legs, now);
        if ((due > 0 || ends) && !tx.setInvestmentPaid(inv.id, inv.paid, std::max(target, inv.paid), ends))
            throw std::runtime_error("investment settled meanwhile"); // undoes this payment
    }
    tx.setLastAccrual(account, now);
}

void Service::accrueIfDue(std::int64_t account, std::int64_t now, bool force)
{
    std::vector<Investment> open;
    std::optional<Account> a;
    m_store.read([&](StoreTx& tx) {
        a = tx.accountById(account);
        open = tx.openInvestments(account);
    });
    if (!a || open.empty() || !(force || accrualDue(*a, open, now))) return;
    m_store.write([&](StoreTx& tx) { accrue(tx, account, now); });
}

Reply Service::invest(const Fields& f)
{
    for (const char* n : {"rental_code", "coin", "value"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const std::string rc = f.get("rental_code");
    const Rental* rental = rc.size() == 1 ? m_config.rental(rc[0] - '0') : nullptr;
    if (!rental) return Reply::Text(msg::BadRental);
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    auto amount = money::Parse(f.get("value"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount < c->minDeposit || *amount <= 0)
        return Reply::Text("The minimum investment is " + money::Format(c->minDeposit) + " " + Upper(c->code) + ".");
    const std::int64_t now = m_clock.now();
    const Reply done =
        Reply::Text("Investment accepted: " + money::Format(*amount) + " " + Upper(c->code) + " for " +
                    std::to_string(rental->days) + " days at " + std::to_string(c->apr) + "% a year; " +
                    std::to_string(rental->feePercent) + "% of the amount is kept when the rental ends.");
    try {
        m_store.write([&](StoreTx& tx) {
            MoneyWrite w = Movement(
                "invest", {{a->id, c->code, Bucket::Wallet, -*amount}, {a->id, c->code, Bucket::Invest, *amount}}, now,
                done);
            Investment inv;
            inv.account = a->id;
            inv.coin = c->code;
            inv.principal = *amount;
            inv.rentalCode = rental->code;
            inv.feePercent = rental->feePercent;
            inv.apr = c->apr;
            inv.started = now;
            inv.ends = now + rental->days * Day;
            w.investment = inv;
            w.lines.push_back(history::Line(a->id, c->code, history::kind::Invest, -*amount, now, 0,
                                            std::to_string(rental->days) + " days"));
            Apply(tx, w);
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(Upper(c->code)));
    }
    return done;
}

Reply Service::withdraw(const Fields& f)
{
    for (const char* n : {"coin", "addr", "network", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    const auto network = NetworkCode(f.get("network"));
    if (!network || (*network != "main" && !c->networks.count(*network))) return Reply::Text(msg::BadNetwork);
    const std::string addr = f.get("addr");
    // A mistyped address or one of another network loses the money for good:
    // checked, checksum included, before anything moves.
    if (const address::Verdict v = address::Check(c->code, *network, addr); !v)
        return Reply::Text(msg::AddressRefused(v.message));
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    const std::string code = Upper(c->code);
    if (*amount < c->minWithdraw)
        return Reply::Text("The minimum withdrawal is " + money::Format(c->minWithdraw) + " " + code + ".");
    const money::WithdrawalSplit split =
        money::SplitWithdrawal(*amount, m_config.withdrawPercent, money::WithdrawFixedFee(c->minWithdraw));
    const std::int64_t fee = split.fee, net = split.net;
    if (net <= 0) return Reply::Text("After the fee of " + money::Format(fee) + " " + code + " nothing would be sent.");
    if (!hasDeposited(a->id)) return Reply::Text(msg::FirstDeposit);
    if (auto refused = secondFactor(*a, f)) return *refused; // last: a refused amount keeps the code unused
    const std::int64_t now = m_clock.now();
    const Reply done = Reply::Text("Withdrawal accepted: " + money::Format(net) + " " + code +
                                   " will be sent after a fee of " + money::Format(fee) + " " + code + ".");
    try {
        m_store.write([&](StoreTx& tx) {
            MoneyWrite w = Movement("withdraw",
                                    {{a->id, c->code, Bucket::Wallet, -*amount},
                                     {system_account::Outbox, c->code, Bucket::Wallet, net},
                                     {system_account::House, c->code, Bucket::Wallet, fee}},
                                    now, done);
            w.withdrawal = Withdrawal{0, a->login, c->code, *network, addr, *amount, fee, net, now};
            w.lines.push_back(history::Line(a->id, c->code, history::kind::Withdraw, -*amount, now, fee,
                                            *network + " " + addr, MoneyWrite::WithdrawalRef,
                                            history::status::Pending));
            Apply(tx, w);
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(code));
    }
    return done;
}

Reply Service::swap(const Fields& f)
{
    for (const char* n : {"cur0", "cur1", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    const Coin* from = m_config.find(AsciiLower(f.get("cur0")));
    const Coin* to = m_config.find(AsciiLower(f.get("cur1")));
    if (!from || !to) return Reply::Text(msg::BadCoin);
    if (from == to) return Reply::Text(msg::SameCoin);
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount <= 0) return Reply::Text(msg::ZeroAmount);
    const auto quote = money::SwapQuote(*amount, from->priceNanoUsd, to->priceNanoUsd, m_config.swapSpreadBasisPoints);
    if (!quote) return Reply::Text(msg::HouseShort);
    const std::int64_t out = *quote;
    if (f.get("com") == "get") return Reply::Text(money::Format(out));
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    if (out <= 0) return Reply::Text(msg::ZeroAmount);
    const std::int64_t now = m_clock.now();
    const Reply done = Reply::Text("Swap done: " + money::Format(*amount) + " " + Upper(from->code) + " for " +
                                   money::Format(out) + " " + Upper(to->code) + ".");
    try {
        m_store.write([&](StoreTx& tx) {
            MoneyWrite w = Movement("swap",
                                    {{a->id, from->code, Bucket::Wallet, -*amount},
                                     {system_account::House, from->code, Bucket::Wallet, *amount},
                                     {system_account::House, to->code, Bucket::Wallet, -out},
                                     {a->id, to->code, Bucket::Wallet, out}},
                                    now, done);
            w.lines.push_back(
                history::Line(a->id, from->code, history::kind::SwapOut, -*amount, now, 0, "to " + to->code));
            w.lines.push_back(history::Line(a->id, to->code, history::kind::SwapIn, out, now, 0, "from " + from->code));
            Apply(tx, w);
        });
    } catch (const InsufficientFunds& e) {
        if (e.account == system_account::House) return Reply::Text(msg::HouseShort);
        return Reply::Text(msg::NotEnough(Upper(from->code)));
    }
    return done;
}

Reply Service::faucet(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const std::int64_t now = m_clock.now();
    const std::string coin = m_config.faucetCoin;
    const Reply done = Reply::Text("You received " + money::Format(m_config.faucetReward) + " " + Upper(coin) +
                                   ". Come back in " + std::to_string(m_config.faucetPeriodSeconds / 60) + " minutes.");
    std::int64_t wait = 0;
    m_store.write([&](StoreTx& tx) {
        wait = 0;
        ThrowIfAnswered(tx);
        auto fresh = tx.accountById(a->id);
        if (fresh->lastFaucet && now - fresh->lastFaucet < m_config.faucetPeriodSeconds) {
            wait = fresh->lastFaucet + m_config.faucetPeriodSeconds - now;
            return;
        }
        std::vector<Leg> legs{{system_account::House, coin, Bucket::Wallet, -m_config.faucetReward},
                              {a->id, coin, Bucket::Wallet, m_config.faucetReward}};
        if (fresh->referrer) {
            const std::int64_t share = money::PercentOf(m_config.faucetReward, m_config.referralFaucetPercent);
            legs.push_back({system_account::House, coin, Bucket::Wallet, -share});
            legs.push_back({fresh->referrer, coin, Bucket::Wallet, share});
            tx.addStats(fresh->referrer, coin, 0, 0, share);
            history::AddToDay(tx, fresh->referrer, coin, history::kind::Referral, share, now);
        }
        tx.post("faucet", legs, now);
        history::Add(tx, a->id, coin, history::kind::Faucet, m_config.faucetReward, now);
        tx.setLastFaucet(a->id, now);
        RecordAnswer(tx, done);
    });
    if (wait > 0)
        return Reply::Text("You have already claimed. Please come back in " + std::to_string((wait + 59) / 60) +
                           " minute(s).");
    return done;
}

std::string Service::credit(const std::string& login, const std::string& coinCode, const std::string& amountText)
{
    const Coin* c = m_config.find(AsciiLower(coinCode));
    if (!c) throw std::runtime_error("unknown coin " + coinCode);
    auto amount = money::Parse(amountText);
    if (!amount || *amount <= 0) throw std::runtime_error("not a positive amount: " + amountText);
    const std::int64_t bonus = money::DepositBonus(*amount, c->minDeposit, m_config.depositBonusPercent);
    const std::int64_t now = m_clock.now();
    try {
        m_store.write([&](StoreTx& tx) {
            auto a = tx.accountByKey(AsciiLower(login));
            if (!a || a->id <= 4) throw std::runtime_error("no account " + login);
            std::vector<Leg> legs{{system_account::Issuer, c->code, Bucket::Wallet, -*amount},
                                  {a->id, c->code, Bucket::Wallet, *amount}};
            if (bonus > 0) {
                legs.push_back({system_account::House, c->code, Bucket::Wallet, -bonus});
                legs.push_back({a->id, c->code, Bucket::Wallet, bonus});
            }
            tx.post("deposit", legs, now);
            tx.addStats(a->id, c->code, *amount, 0, 0);
            history::Add(tx, a->id, c->code, history::kind::Deposit, money::Add(*amount, bonus), now, 0,
                         bonus > 0 ? "bonus " + money::Format(bonus) : std::string());
        });
    } catch (const money::Overflow&) {
        throw std::runtime_error("refused: crediting " + money::Format(*amount) + " " + Upper(c->code) + " to " +
                                 login +
                                 " would take a balance past the largest amount the ledger holds; nothing was booked");
    }
    return "credited " + money::Format(*amount) + " " + Upper(c->code) + " to " + login + " (bonus " +
           money::Format(bonus) + ")";
}
